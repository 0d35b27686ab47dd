// The header line of a pack record or a transfer stream record.

#include <string>

#include "fuzz_check.h"
#include "store/pack_record.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  const std::optional<RecordHeader> header = parse_record_header(fuzz_bytes(data, size));
  if (!header) return 0;
  FUZZ_CHECK(header->type == 'F' || header->type == 'D');
  std::string line;
  if (header->type == 'F') {
    append_full_header(line, header->id, header->first, header->second);
  } else {
    append_delta_header(line, header->id, header->base, header->first, header->second);
  }
  line.pop_back();  // the "\n"
  const std::optional<RecordHeader> again = parse_record_header(line);
  FUZZ_CHECK(again && again->type == header->type && again->id == header->id &&
             again->base == header->base && again->first == header->first &&
             again->second == header->second);
  return 0;
}
