#pragma once

#include <cctype>
#include <string_view>

// Line and white-space helpers for the store's text formats.

// Removes what isspace() counts as white space from both ends.
inline std::string_view trim_space(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

// Takes the next line off the front of `text`, without its "\n".
inline std::string_view take_line(std::string_view& text) {
  size_t newline = text.find('\n');
  std::string_view line = text.substr(0, newline);
  text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
  return line;
}
