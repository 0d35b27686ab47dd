#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The header line shared by pack files and the transfer stream, without its
// "\n". Fields are separated by whitespace when read and by one space when
// written; numbers are unsigned decimal.
//
//   F <id> <compressed-length> <raw-length>
//   D <id> <base-id> <prefix-length> <suffix-length>

struct RecordHeader {
  char type = 0;          // 'F' or 'D'
  std::string_view id;    // not checked here: callers decide what an id must be
  std::string_view base;  // 'D' only
  uint64_t first = 0;     // 'F': compressed length, 'D': prefix length
  uint64_t second = 0;    // 'F': raw length, 'D': suffix length
};

// Nothing for an unknown type word, a missing or extra field or a number that
// is not plain decimal or does not fit in 64 bits. The views point into line.
std::optional<RecordHeader> parse_record_header(std::string_view line);

// Appends "F <id> <compressed> <raw>\n".
void append_full_header(std::string& out, std::string_view id, uint64_t compressed, uint64_t raw);

// Appends "D <id> <base> <prefix> <suffix>\n".
void append_delta_header(std::string& out, std::string_view id, std::string_view base,
                         uint64_t prefix, uint64_t suffix);

// The longest header line a reader accepts, "\n" included. Ours are at most
// 172 bytes; the margin only tolerates extra whitespace.
constexpr size_t k_max_header_line = 512;

// The most delta records one chain may hold. Readers give up on longer
// chains (they can only come from damage or a cycle); the writer starts a
// new chain with a whole record before reaching it.
constexpr size_t k_max_delta_chain = 10000;
