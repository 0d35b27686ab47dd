// The JSON index beside a pack file.

#include <cstring>

#include "fuzz_check.h"
#include "store/internal/pack_set.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  const std::string_view text = fuzz_bytes(data, size);
  const auto slots = parse_index_slots(text);
  for (size_t i = 1; i < slots.size(); ++i) {
    FUZZ_CHECK(std::memcmp(slots[i - 1].id.data(), slots[i].id.data(), 64) <= 0);
  }
  // Bisecting a damaged text may answer differently, but never reads
  // outside it (the sanitizers check that).
  for (const IndexedPack::Slot& slot : slots) {
    bool usable = false;
    (void)find_written_slot(text, std::string_view(slot.id.data(), 64), usable);
  }
  return 0;
}
