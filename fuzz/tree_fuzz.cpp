// The JSON text of a tree object.

#include "fuzz_check.h"
#include "store/errors.h"
#include "store/object.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  Tree tree;
  try {
    tree = parse_tree(fuzz_bytes(data, size));
  } catch (const RepositoryDamaged&) {
    return 0;
  }
  FUZZ_CHECK(parse_tree(serialize_tree(tree)) == tree);
  return 0;
}
