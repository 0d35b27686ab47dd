#include "store/canonical_json.h"

#include <array>
#include <cstring>

namespace {

// Length of the UTF-8 sequence starting at text[0], or 0 when it is not a
// well-formed one (overlong forms, surrogates and code points past U+10FFFF
// included), as the full parser's strict decoder judges it.
size_t utf8_sequence_length(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

constexpr auto k_plain_ascii = [] {
  std::array<bool, 256> table{};
  for (int c = 0x20; c < 0x80; ++c) table[c] = c != '"' && c != '\\';
  return table;
}();

// Eight bytes at a time while none is special: any byte below 0x20 or from
// 0x80 up, a quote or a backslash ends the fast stretch.
size_t skip_plain_ascii(std::string_view text, size_t pos) {
  constexpr uint64_t k_ones = 0x0101010101010101ULL;
  constexpr uint64_t k_highs = 0x8080808080808080ULL;
  const auto has_zero = [](uint64_t v) { return (v - k_ones) & ~v & k_highs; };
  while (text.size() - pos >= 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + pos, 8);
    const uint64_t special = (word & k_highs) | ((word - 0x20 * k_ones) & ~word & k_highs) |
                             has_zero(word ^ ('"' * k_ones)) | has_zero(word ^ ('\\' * k_ones));
    if (special != 0) break;
    pos += 8;
  }
  while (pos < text.size() && k_plain_ascii[static_cast<unsigned char>(text[pos])]) ++pos;
  return pos;
}

// The character a two-character escape stands for, or 0 for any other
// (\u escapes included).
char decode_short_escape(char c) {
  switch (c) {
    case '"':
    case '\\':
    case '/':
      return c;
    case 'b':
      return '\b';
    case 'f':
      return '\f';
    case 'n':
      return '\n';
    case 'r':
      return '\r';
    case 't':
      return '\t';
    default:
      return 0;
  }
}

}  // namespace

bool is_plain_json_string(std::string_view text) {
  size_t pos = 0;
  for (;;) {
    pos = skip_plain_ascii(text, pos);
    if (pos == text.size()) return true;
    if (static_cast<unsigned char>(text[pos]) < 0x80) return false;
    const size_t length = utf8_sequence_length(text.substr(pos));
    if (length == 0) return false;
    pos += length;
  }
}

bool CanonicalReader::string(std::string& out) {
  if (!literal("\"")) return false;
  const size_t start = pos;
  for (;;) {
    // Printable ASCII other than the quote and the backslash needs no look.
    pos = skip_plain_ascii(text, pos);
    if (pos == text.size()) break;
    const unsigned char c = static_cast<unsigned char>(text[pos]);
    if (c == '"') {
      out.assign(text.data() + start, pos - start);
      ++pos;
      return true;
    }
    if (c < 0x80) break;  // a control character or a backslash
    const size_t length = utf8_sequence_length(text.substr(pos));
    if (length == 0) break;
    pos += length;
  }
  return ok = false;
}

bool CanonicalReader::escaped_string(std::string& out) {
  if (!literal("\"")) return false;
  out.clear();
  for (;;) {
    const size_t start = pos;
    pos = skip_plain_ascii(text, pos);
    out.append(text.data() + start, pos - start);
    if (pos == text.size()) break;
    const unsigned char c = static_cast<unsigned char>(text[pos]);
    if (c == '"') {
      ++pos;
      return true;
    }
    if (c == '\\') {
      const char decoded = pos + 1 < text.size() ? decode_short_escape(text[pos + 1]) : 0;
      if (decoded == 0) break;
      out.push_back(decoded);
      pos += 2;
      continue;
    }
    if (c < 0x80) break;  // a control character
    const size_t length = utf8_sequence_length(text.substr(pos));
    if (length == 0) break;
    out.append(text.data() + pos, length);
    pos += length;
  }
  return ok = false;
}

bool CanonicalReader::number(uint64_t& out) {
  if (!ok) return false;
  const size_t start = pos;
  uint64_t value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    const uint64_t digit = static_cast<uint64_t>(text[pos] - '0');
    // Nineteen digits always fit; only a longer number needs the check.
    if (pos - start >= 19 && value > (UINT64_MAX - digit) / 10) return ok = false;
    value = value * 10 + digit;
    ++pos;
  }
  const size_t digits = pos - start;
  if (digits == 0 || (digits > 1 && text[start] == '0')) return ok = false;
  // "1.5" or "1e3" are numbers of another kind: leave them to the full parser.
  if (pos < text.size() && (text[pos] == '.' || text[pos] == 'e' || text[pos] == 'E')) {
    return ok = false;
  }
  out = value;
  return true;
}
