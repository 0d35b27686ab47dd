// The JSON index beside a pack file.

#include <cstring>

#include "fuzz_check.h"
#include "pack/internal/pack_set.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  const auto slots = parse_index_slots(fuzz_bytes(data, size));
  for (size_t i = 1; i < slots.size(); ++i) {
    FUZZ_CHECK(std::memcmp(slots[i - 1].id.data(), slots[i].id.data(), 64) <= 0);
  }
  return 0;
}
