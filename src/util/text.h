#pragma once

#include <string_view>

// Small helpers for the text formats read and written everywhere.

// What isspace() counts as white space in the C locale.
inline constexpr std::string_view k_white_space = " \t\n\v\f\r";
// Blanks and line ends only: what a line-oriented format may carry around
// a value.
inline constexpr std::string_view k_blanks_and_line_ends = " \t\r\n";

// `text` without any of `chars` at its ends (at its start, at its end).
std::string_view trim(std::string_view text, std::string_view chars = k_white_space);
std::string_view trim_left(std::string_view text, std::string_view chars = k_white_space);
std::string_view trim_right(std::string_view text, std::string_view chars = k_white_space);

// True for "http://" or "https://" followed by something.
bool is_http_url(std::string_view url);
