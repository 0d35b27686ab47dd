#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <string_view>

// Finding the lines of a text that hold a fixed string or match an
// ECMAScript expression. The content is searched as one buffer, never split
// into line objects: a hit is found first and only then its line located.

struct LineSearch {
  // The fixed string or, for an expression, a literal every match contains
  // ("" when none is certain); lower-cased (ASCII only) under ignore_case.
  std::string needle;
  bool ignore_case = false;
  std::optional<std::regex> regex;
  std::string folded;  // the content lower-cased, reused from one text to the next
};

// Throws std::regex_error for an expression that does not compile. The
// compiler recurses per element of the expression, so a long one wants a
// large stack (run_with_large_stack).
LineSearch make_line_search(std::string_view pattern, bool is_regex, bool ignore_case);

// Calls on_line(number counted from 1, line) for every matching line, in
// order, until it answers false. Lines end at "\n", lose one trailing "\r",
// and a final "\n" starts no extra line.
void search_lines(LineSearch& search, std::string_view content,
                  const std::function<bool(size_t, std::string_view)>& on_line);

// The longest run of bytes that every match of the ECMAScript expression
// contains, or "" when the expression's shape leaves it uncertain (a
// top-level "|", for one). Only for expressions that compile.
std::string required_literal(std::string_view pattern);
