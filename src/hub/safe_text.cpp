#include "hub/safe_text.h"

namespace {

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 sequence starting at `at`, or 0.
size_t sequence_length(std::string_view text, size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  const size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xC2 && lead <= 0xDF ? 2
                                                       : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if (!is_continuation(static_cast<unsigned char>(text[at + i]))) return 0;
  }
  return length;
}

bool is_c1_sequence(std::string_view sequence) {
  return sequence.size() == 2 && static_cast<unsigned char>(sequence[0]) == 0xC2 &&
         static_cast<unsigned char>(sequence[1]) <= 0x9F;
}

}  // namespace

std::string printable_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
      out += (byte < 0x20 && byte != '\t') || byte == 0x7F ? '?' : text[at];
      ++at;
      continue;
    }
    const size_t length = sequence_length(text, at);
    if (length == 0) {
      out += byte <= 0x9F ? '?' : text[at];
      ++at;
      continue;
    }
    std::string_view sequence = text.substr(at, length);
    if (is_c1_sequence(sequence)) {
      out += '?';
    } else {
      out += sequence;
    }
    at += length;
  }
  return out;
}
