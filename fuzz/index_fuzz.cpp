// The text of .orrery/index, in either format.

#include "fuzz_check.h"
#include "store/errors.h"
#include "store/index.h"
#include "store/object.h"
#include "store/tree_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  Index index;
  try {
    index = parse_index(fuzz_bytes(data, size));
  } catch (const RepositoryDamaged&) {
    return 0;
  }
  for (const auto& [path, entry] : index) {
    FUZZ_CHECK(is_safe_index_path(path) && is_object_id(entry.hash));
  }
  FUZZ_CHECK(parse_index(serialize_index(index)) == index);
  return 0;
}
