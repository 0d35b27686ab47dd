// The text of .orrery/config.

#include <stdexcept>

#include "fuzz_check.h"
#include "store/config.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  const RepoConfig config = parse_config(fuzz_bytes(data, size));
  try {
    check_config(config);
  } catch (const std::runtime_error&) {
    return 0;  // refused: save_config would write nothing
  }
  // What the writer accepts reads back as itself.
  FUZZ_CHECK(parse_config(serialize_config(config)) == config);
  return 0;
}
