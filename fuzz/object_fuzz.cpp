// The stored form of a loose object: inflating and checking its header.

#include <string>

#include "fuzz_check.h"
#include "store/codec.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  std::string canonical;
  std::string error;
  if (!inflate_object(fuzz_bytes(data, size), canonical, error)) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  FUZZ_CHECK(check_canonical_object(canonical, error));
  // What was accepted is an object this program could have written.
  const size_t space = canonical.find(' ');
  const size_t nul = canonical.find('\0');
  const std::string rewritten = compress_object(std::string_view(canonical).substr(0, space),
                                                std::string_view(canonical).substr(nul + 1));
  std::string again;
  FUZZ_CHECK(inflate_object(rewritten, again, error) && again == canonical);
  return 0;
}
