#include "history/text_merge.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "diff/engine.h"

// A merge either takes every hunk of both sides into the base, or, when any
// region of one side overlaps a region of the other, gives up on the whole
// file: there is no per-region conflict and no base section.

namespace {

int32_t to_index(size_t value) {
  if (value > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    throw std::runtime_error("File has too many lines to merge");
  }
  return static_cast<int32_t>(value);
}

bool overlap(const ChangeHunk& a, const ChangeHunk& b) {
  return a.base_end > b.base_start && b.base_end > a.base_start;
}

// Both lists are ordered and the regions of one list are disjoint, so one
// sweep finds any overlap: a theirs region ending at or before an ours
// region's start can overlap no later ours region either.
bool has_overlap(const std::vector<ChangeHunk>& ours, const std::vector<ChangeHunk>& theirs) {
  size_t j = 0;
  for (const ChangeHunk& o : ours) {
    while (j < theirs.size() && theirs[j].base_end <= o.base_start) ++j;
    if (j == theirs.size()) return false;
    if (overlap(o, theirs[j])) return true;
  }
  return false;
}

void append_line_ended(std::string& out, std::string_view text) {
  out.append(text);
  if (!out.empty() && out.back() != '\n') out.push_back('\n');
}

std::string conflict_content(std::string_view ours, std::string_view theirs) {
  std::string out = "<<<<<<< ours\n";
  append_line_ended(out, ours);
  out += "=======\n";
  append_line_ended(out, theirs);
  out += ">>>>>>> theirs\n";
  return out;
}

std::string apply_hunks(const std::vector<std::string_view>& base, std::vector<ChangeHunk> ours,
                        std::vector<ChangeHunk> theirs) {
  std::vector<const ChangeHunk*> all;
  all.reserve(ours.size() + theirs.size());
  for (const ChangeHunk& h : ours) all.push_back(&h);
  for (const ChangeHunk& h : theirs) all.push_back(&h);
  std::stable_sort(all.begin(), all.end(), [](const ChangeHunk* a, const ChangeHunk* b) {
    return a->base_start != b->base_start ? a->base_start < b->base_start
                                          : a->base_end < b->base_end;
  });
  std::string out;
  const size_t n = base.size();
  size_t p = 0;
  const auto emit = [&](std::string_view line) {
    out.append(line);
    out.push_back('\n');
  };
  for (const ChangeHunk* hunk : all) {
    for (; p < static_cast<size_t>(hunk->base_start) && p < n; ++p) emit(base[p]);
    p = std::max(p, static_cast<size_t>(hunk->base_end));
    for (std::string_view line : hunk->lines) emit(line);
  }
  for (; p < n; ++p) emit(base[p]);
  return out;
}

}  // namespace

std::vector<ChangeHunk> line_diff(const std::vector<std::string_view>& base,
                                  const std::vector<std::string_view>& other) {
  const EditScript script = diff_lines(base, other);
  std::vector<ChangeHunk> hunks;
  size_t i = 0;
  for (size_t k = 0; k < script.size();) {
    if (script[k].op == ' ') {
      ++i, ++k;
      continue;
    }
    ChangeHunk hunk;
    hunk.base_start = to_index(i);
    for (; k < script.size() && script[k].op != ' '; ++k) {
      if (script[k].op == '-') {
        ++i;
      } else {
        hunk.lines.push_back(script[k].line);
      }
    }
    hunk.base_end = to_index(i);
    hunks.push_back(std::move(hunk));
  }
  return hunks;
}

TextMergeResult merge_text(std::string_view base, std::string_view ours, std::string_view theirs) {
  if (ours == theirs || theirs == base) return {std::string(ours), false};
  if (ours == base) return {std::string(theirs), false};
  const std::vector<std::string_view> base_lines = split_lines(base);
  std::vector<ChangeHunk> ours_hunks = line_diff(base_lines, split_lines(ours));
  std::vector<ChangeHunk> theirs_hunks = line_diff(base_lines, split_lines(theirs));
  if (has_overlap(ours_hunks, theirs_hunks)) return {conflict_content(ours, theirs), true};
  return {apply_hunks(base_lines, std::move(ours_hunks), std::move(theirs_hunks)), false};
}
