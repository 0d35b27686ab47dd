#pragma once

#include <string_view>

// Line and white-space helpers for the store's text formats.

// Takes the next line off the front of `text`, without its "\n".
inline std::string_view take_line(std::string_view& text) {
  size_t newline = text.find('\n');
  std::string_view line = text.substr(0, newline);
  text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
  return line;
}
