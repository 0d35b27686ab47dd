#include "store/pack_record.h"

#include <array>
#include <charconv>

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Splits on runs of whitespace; false when there are more than N fields.
template <size_t N>
bool split_fields(std::string_view line, std::array<std::string_view, N>& fields, size_t& count) {
  count = 0;
  size_t pos = 0;
  for (;;) {
    while (pos < line.size() && is_space(line[pos])) ++pos;
    if (pos == line.size()) return true;
    if (count == N) return false;
    size_t end = pos;
    while (end < line.size() && !is_space(line[end])) ++end;
    fields[count++] = line.substr(pos, end - pos);
    pos = end;
  }
}

// Digits only: no sign, no base prefix, no overflow.
std::optional<uint64_t> parse_number(std::string_view text) {
  uint64_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || ptr != end) return std::nullopt;
  return value;
}

void append_number(std::string& out, uint64_t value) {
  std::array<char, 24> digits;
  auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), value);
  (void)error;  // 24 digits always suffice for 64 bits
  out.append(digits.data(), end);
}

}  // namespace

std::optional<RecordHeader> parse_record_header(std::string_view line) {
  std::array<std::string_view, 5> fields;
  size_t count = 0;
  if (!split_fields(line, fields, count) || count == 0 || fields[0].size() != 1)
    return std::nullopt;
  RecordHeader header;
  header.type = fields[0][0];
  size_t numbers_at = 0;
  if (header.type == 'F' && count == 4) {
    numbers_at = 2;
  } else if (header.type == 'D' && count == 5) {
    header.base = fields[2];
    numbers_at = 3;
  } else {
    return std::nullopt;
  }
  header.id = fields[1];
  std::optional<uint64_t> first = parse_number(fields[numbers_at]);
  std::optional<uint64_t> second = parse_number(fields[numbers_at + 1]);
  if (!first || !second) return std::nullopt;
  header.first = *first;
  header.second = *second;
  return header;
}

void append_full_header(std::string& out, std::string_view id, uint64_t compressed, uint64_t raw) {
  out.append("F ").append(id).push_back(' ');
  append_number(out, compressed);
  out.push_back(' ');
  append_number(out, raw);
  out.push_back('\n');
}

void append_delta_header(std::string& out, std::string_view id, std::string_view base,
                         uint64_t prefix, uint64_t suffix) {
  out.append("D ").append(id).push_back(' ');
  out.append(base).push_back(' ');
  append_number(out, prefix);
  out.push_back(' ');
  append_number(out, suffix);
  out.push_back('\n');
}
