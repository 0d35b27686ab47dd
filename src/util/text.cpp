#include "util/text.h"

std::string_view trim(std::string_view text, std::string_view chars) {
  return trim_right(trim_left(text, chars), chars);
}

std::string_view trim_left(std::string_view text, std::string_view chars) {
  const size_t first = text.find_first_not_of(chars);
  return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string_view trim_right(std::string_view text, std::string_view chars) {
  const size_t last = text.find_last_not_of(chars);
  return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

bool is_http_url(std::string_view url) {
  for (std::string_view scheme : {"http://", "https://"}) {
    if (url.starts_with(scheme) && url.size() > scheme.size()) return true;
  }
  return false;
}
