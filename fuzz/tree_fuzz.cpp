// The JSON text of a tree object.

#include "fuzz_check.h"
#include "store/errors.h"
#include "store/object.h"

namespace {

bool same(const Tree& a, const Tree& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].mode != b[i].mode || a[i].type != b[i].type || a[i].hash != b[i].hash ||
        a[i].path != b[i].path) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  Tree tree;
  try {
    tree = parse_tree(fuzz_bytes(data, size));
  } catch (const RepositoryDamaged&) {
    return 0;
  }
  FUZZ_CHECK(same(parse_tree(serialize_tree(tree)), tree));
  return 0;
}
