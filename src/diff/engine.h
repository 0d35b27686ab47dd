#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

// The line diff engine: splitting content into lines, the shortest edit
// script between two line lists, and its grouping into hunks with context.
// Every line is a view into the caller's content, which must outlive the
// lines and the scripts built from them.

// One step of an edit script: ' ' keeps a line both sides share (the view
// points into the old side), '-' drops an old line, '+' adds a new line.
struct EditOp {
  char op;
  std::string_view line;
};
using EditScript = std::vector<EditOp>;

// A half-open range [start, end) of entries of an edit script.
struct Hunk {
  size_t start = 0;
  size_t end = 0;
};

// Splits content at "\n": each "\n" ends a line, text after the last "\n" is
// one more line, a final "\n" adds no empty line, "\r" stays in the line.
// Empty content has no lines.
std::vector<std::string_view> split_lines(std::string_view content);

// The edit script from old_lines to new_lines: the greedy shortest-edit-script
// search, so for a given pair the result is always the same script. Within a
// replaced block the deletions come before the insertions.
EditScript diff_lines(const std::vector<std::string_view>& old_lines,
                      const std::vector<std::string_view>& new_lines);

// Groups the changes of a script into hunks carrying up to `context`
// unchanged lines on each side; changes close enough to share context form
// one hunk. An unchanged script has no hunks.
std::vector<Hunk> group_hunks(const EditScript& script, size_t context);

// True when the content holds a zero byte.
bool is_binary(std::string_view content);
