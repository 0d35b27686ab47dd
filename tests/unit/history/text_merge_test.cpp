#include "history/text_merge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "diff/engine.h"

namespace {

using Lines = std::vector<std::string>;

Lines oracle_split(const std::string& text) {
  Lines lines(1);
  for (char c : text) {
    if (c == '\n') {
      lines.emplace_back();
    } else {
      lines.back().push_back(c);
    }
  }
  if (lines.back().empty()) lines.pop_back();
  return lines;
}

std::string join(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// The merge written down step by step as first described: owning strings,
// every pair of regions compared, one sort of all regions.
struct Region {
  long start, end;
  Lines lines;
};

std::vector<Region> oracle_regions(const Lines& base, const Lines& other) {
  std::vector<std::string_view> a(base.begin(), base.end()), b(other.begin(), other.end());
  std::vector<Region> regions;
  long i = 0;
  bool open = false;
  for (const EditOp& op : diff_lines(a, b)) {
    if (op.op != ' ' && !open) regions.push_back({i, i, {}});
    open = op.op != ' ';
    if (op.op == '+') regions.back().lines.emplace_back(op.line);
    if (op.op != '+') ++i;
    if (open) regions.back().end = i;
  }
  return regions;
}

TextMergeResult oracle_merge(const std::string& base, const std::string& ours,
                             const std::string& theirs) {
  if (ours == theirs || theirs == base) return {ours, false};
  if (ours == base) return {theirs, false};
  const Lines base_lines = oracle_split(base);
  std::vector<Region> o = oracle_regions(base_lines, oracle_split(ours));
  std::vector<Region> t = oracle_regions(base_lines, oracle_split(theirs));
  for (const Region& x : o) {
    for (const Region& y : t) {
      if (x.end <= y.start || y.end <= x.start) continue;
      std::string text = "<<<<<<< ours\n" + ours;
      if (text.back() != '\n') text += "\n";
      text += "=======\n" + theirs;
      if (text.back() != '\n') text += "\n";
      return {text + ">>>>>>> theirs\n", true};
    }
  }
  o.insert(o.end(), t.begin(), t.end());
  std::stable_sort(o.begin(), o.end(), [](const Region& x, const Region& y) {
    return std::make_pair(x.start, x.end) < std::make_pair(y.start, y.end);
  });
  Lines out;
  long p = 0;
  const long n = static_cast<long>(base_lines.size());
  for (const Region& r : o) {
    while (p < r.start && p < n) out.push_back(base_lines[p++]);
    p = std::max(p, r.end);
    out.insert(out.end(), r.lines.begin(), r.lines.end());
  }
  out.insert(out.end(), base_lines.begin() + std::min(p, n), base_lines.end());
  return {join(out), false};
}

// The lines of `text` with a few replaced, dropped or added.
std::string edit(std::mt19937& rng, const std::string& text, const Lines& pool) {
  Lines lines = oracle_split(text);
  for (int edits = rng() % 4; edits > 0; --edits) {
    const size_t at = rng() % (lines.size() + 1);
    const std::string& line = pool[rng() % pool.size()];
    if (rng() % 3 == 0 || at == lines.size()) {
      lines.insert(lines.begin() + at, line);
    } else if (rng() % 2) {
      lines.erase(lines.begin() + at);
    } else {
      lines[at] = line;
    }
  }
  return join(lines);
}

TEST(MergeText, AgreesWithTheStepByStepMergeOnRandomTriples) {
  std::mt19937 rng(20240611);
  const Lines pool{"a", "b", "c", "d", "", "}", "a\r"};
  int conflicts = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string base = edit(rng, edit(rng, "", pool), pool);
    if (!base.empty() && rng() % 4 == 0) base.pop_back();  // no final newline
    const std::string ours = rng() % 5 == 0 ? base : edit(rng, base, pool);
    const std::string theirs = rng() % 5 == 0 ? ours : edit(rng, base, pool);
    TextMergeResult expected = oracle_merge(base, ours, theirs);
    TextMergeResult got = merge_text(base, ours, theirs);
    ASSERT_EQ(got.content, expected.content) << base << "|" << ours << "|" << theirs;
    ASSERT_EQ(got.conflict, expected.conflict) << base << "|" << ours << "|" << theirs;
    conflicts += got.conflict;
  }
  EXPECT_GT(conflicts, 1000);  // both outcomes are well exercised
  EXPECT_LT(conflicts, 18000);
}

TEST(MergeText, FollowsTheRulesForTypicalEdits) {
  struct Case {
    std::string base, ours, theirs, content;
  };
  const Case cases[] = {
      {"x", "y", "y", "y"},        // equal sides win, with no newline added
      {"", "o\n", "t", "o\nt\n"},  // additions to an absent file both go in
      {"1\n2\n3\n4\n5\n", "1\n2\nnew\n3\n4\n5\n", "1\n2\nC\nD\n5\n", "1\n2\nnew\nC\nD\n5\n"},
      {"1\n2\n", "1\nX\n", "1\nX", "<<<<<<< ours\n1\nX\n=======\n1\nX\n>>>>>>> theirs\n"},
      {"a\n", "", "b\n", "<<<<<<< ours\n=======\nb\n>>>>>>> theirs\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(merge_text(c.base, c.ours, c.theirs).content, c.content);
}

}  // namespace
