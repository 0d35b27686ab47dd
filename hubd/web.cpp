#include "hubd/web.h"

#include <chrono>

#include "util/text.h"

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> form_decode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] != '%') {
      out += text[i];
    } else {
      if (i + 2 >= text.size()) return std::nullopt;
      const int high = hex_value(text[i + 1]), low = hex_value(text[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      out += static_cast<char>(high * 16 + low);
      i += 2;
    }
  }
  return out;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The length of the UTF-8 sequence starting at text[i] and its code point,
// or 0 for an invalid, overlong or surrogate sequence.
size_t utf8_sequence(std::string_view text, size_t i, uint32_t& code_point) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t length = lead < 0x80         ? 1
                  : (lead >> 5) == 6  ? 2
                  : (lead >> 4) == 14 ? 3
                  : (lead >> 3) == 30 ? 4
                                      : 0;
  if (length == 0 || i + length > text.size()) return 0;
  code_point = length == 1 ? lead : lead & (0x7f >> length);
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xc0) != 0x80) return 0;
    code_point = (code_point << 6) | (byte(i + k) & 0x3f);
  }
  static constexpr uint32_t k_least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code_point < k_least[length] || code_point > 0x10ffff ||
      (code_point >= 0xd800 && code_point <= 0xdfff)) {
    return 0;
  }
  return length;
}

}  // namespace

std::string bearer_token(std::string_view authorization) {
  constexpr std::string_view k_scheme = "Bearer ";
  if (authorization.substr(0, k_scheme.size()) != k_scheme) return {};
  return std::string(trim(authorization.substr(k_scheme.size()), k_blanks_and_line_ends));
}

std::optional<std::map<std::string, std::string>> parse_form(std::string_view body) {
  std::map<std::string, std::string> pairs;
  while (!body.empty()) {
    const size_t end = body.find('&');
    std::string_view pair = body.substr(0, end);
    body = end == std::string_view::npos ? std::string_view() : body.substr(end + 1);
    if (pair.empty()) continue;
    const size_t equals = pair.find('=');
    std::optional<std::string> name = form_decode(pair.substr(0, equals));
    std::optional<std::string> value =
        form_decode(equals == std::string_view::npos ? "" : pair.substr(equals + 1));
    if (!name || !value || !pairs.emplace(std::move(*name), std::move(*value)).second) {
      return std::nullopt;
    }
  }
  return pairs;
}

bool has_media_type(std::string_view content_type, std::string_view media_type) {
  std::string_view type =
      trim(content_type.substr(0, content_type.find(';')), k_blanks_and_line_ends);
  if (type.size() != media_type.size()) return false;
  for (size_t i = 0; i < type.size(); ++i) {
    if (lower(type[i]) != media_type[i]) return false;
  }
  return true;
}

std::string cookie_value(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    const size_t end = header.find(';');
    std::string_view pair = trim(header.substr(0, end), k_blanks_and_line_ends);
    header = end == std::string_view::npos ? std::string_view() : header.substr(end + 1);
    const size_t equals = pair.find('=');
    if (equals != std::string_view::npos && pair.substr(0, equals) == name) {
      return std::string(pair.substr(equals + 1));
    }
  }
  return {};
}

std::string html_escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

bool is_printable_text(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    uint32_t code_point = 0;
    const size_t length = utf8_sequence(text, i, code_point);
    if (length == 0 || code_point < 0x20 || (code_point >= 0x7f && code_point < 0xa0)) {
      return false;
    }
    i += length;
  }
  return true;
}

int64_t unix_now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

int64_t unix_now_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}
