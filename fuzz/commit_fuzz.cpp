// The JSON text of a commit object.

#include "fuzz_check.h"
#include "store/errors.h"
#include "store/object.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  Commit commit;
  try {
    commit = parse_commit(fuzz_bytes(data, size));
  } catch (const RepositoryDamaged&) {
    return 0;
  }
  FUZZ_CHECK(parse_commit(serialize_commit(commit)) == commit);
  return 0;
}
