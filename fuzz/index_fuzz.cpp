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
  const Index again = parse_index(serialize_index(index));
  FUZZ_CHECK(again.size() == index.size());
  for (auto a = again.cbegin(), b = index.cbegin(); a != again.cend(); ++a, ++b) {
    FUZZ_CHECK(a->first == b->first && a->second.hash == b->second.hash &&
               a->second.size == b->second.size && a->second.mtime == b->second.mtime &&
               a->second.mode == b->second.mode);
  }
  return 0;
}
