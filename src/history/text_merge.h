#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The three-way merge of one file's text, whole lines at a time. The lines
// of a ChangeHunk are views into the content they were split from, which
// must outlive the hunk.

// One region of a derived version that differs from the base: base lines
// [base_start, base_end) are replaced by `lines` (a pure insertion when the
// range is empty, a pure deletion when `lines` is).
struct ChangeHunk {
  int32_t base_start = 0;
  int32_t base_end = 0;
  std::vector<std::string_view> lines;
};

// The merged bytes, and whether they are the whole-file conflict form.
struct TextMergeResult {
  std::string content;
  bool conflict = false;
};

// The change regions of `other` against `base` in ascending base order,
// read off the edit script of diff_lines.
std::vector<ChangeHunk> line_diff(const std::vector<std::string_view>& base,
                                  const std::vector<std::string_view>& other);

// Merges the changes ours and theirs made to base. Overlapping regions make
// the whole file a conflict: ours and theirs in full between the markers
// "<<<<<<< ours", "=======" and ">>>>>>> theirs". A side left unchanged, or
// two equal sides, give that side's bytes unchanged.
TextMergeResult merge_text(std::string_view base, std::string_view ours, std::string_view theirs);
