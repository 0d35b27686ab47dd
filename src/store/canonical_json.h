#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// True when `text` is valid UTF-8 without control characters, quotes or
// backslashes: a string the JSON writer copies between its quotes unchanged.
bool is_plain_json_string(std::string_view text);

// A reader for exactly the JSON texts this program writes where a command
// reads thousands of them (commits, the index, pack index entries): it
// accepts fixed punctuation byte for byte, strings of valid UTF-8 (with the
// two-character escapes only where asked for), and plain unsigned integers.
// Anything else clears `ok`, and the caller parses the text again with the
// full JSON parser, so the fast path only ever decides texts both parsers
// read the same way.
struct CanonicalReader {
  std::string_view text;
  size_t pos = 0;
  bool ok = true;

  // Consumes `expected` when the text continues with it; clears ok otherwise.
  // Inline, so that comparisons with literals compile to a few instructions.
  bool literal(std::string_view expected) {
    if (maybe(expected)) return true;
    return ok = false;
  }
  // Consumes `expected` only when it is next; never clears ok.
  bool maybe(std::string_view expected) {
    if (!ok || text.size() - pos < expected.size() ||
        std::memcmp(text.data() + pos, expected.data(), expected.size()) != 0) {
      return false;
    }
    pos += expected.size();
    return true;
  }
  // A quoted string, valid UTF-8, without backslash or control characters.
  bool string(std::string& out);
  // The same, also decoding the escapes \" \\ \/ \b \f \n \r \t (the
  // writer's own for quotes, backslashes and common control characters);
  // \u escapes are left to the full parser.
  bool escaped_string(std::string& out);
  // Decimal digits without a leading zero, within 64 bits.
  bool number(uint64_t& out);
  bool at_end() const { return ok && pos == text.size(); }
};
