#include "history/text_merge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "diff/engine.h"

namespace {

// The merge written down step by step as first described: owning strings,
// every pair of regions compared, one sort of all regions.
struct OracleHunk {
  long start;
  long end;
  std::vector<std::string> lines;
};

std::vector<std::string> oracle_split(const std::string& text) {
  std::vector<std::string> lines;
  std::string current;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) lines.push_back(current);
  return lines;
}

std::vector<OracleHunk> oracle_hunks(const std::vector<std::string>& base,
                                     const std::vector<std::string>& other) {
  std::vector<std::string_view> a(base.begin(), base.end());
  std::vector<std::string_view> b(other.begin(), other.end());
  std::vector<OracleHunk> hunks;
  long i = 0;
  bool open = false;
  for (const EditOp& op : diff_lines(a, b)) {
    if (op.op == ' ') {
      if (open) hunks.back().end = i;
      open = false;
      ++i;
      continue;
    }
    if (!open) hunks.push_back({i, i, {}});
    open = true;
    if (op.op == '-') ++i;
    if (op.op == '+') hunks.back().lines.emplace_back(op.line);
  }
  if (open) hunks.back().end = i;
  return hunks;
}

TextMergeResult oracle_merge(const std::string& base, const std::string& ours,
                             const std::string& theirs) {
  if (ours == theirs) return {ours, false};
  if (ours == base) return {theirs, false};
  if (theirs == base) return {ours, false};
  std::vector<std::string> base_lines = oracle_split(base);
  std::vector<OracleHunk> o = oracle_hunks(base_lines, oracle_split(ours));
  std::vector<OracleHunk> t = oracle_hunks(base_lines, oracle_split(theirs));
  for (const OracleHunk& x : o) {
    for (const OracleHunk& y : t) {
      if (x.end > y.start && y.end > x.start) {
        std::string text = "<<<<<<< ours\n" + ours;
        if (text.back() != '\n') text += "\n";
        text += "=======\n" + theirs;
        if (text.back() != '\n') text += "\n";
        return {text + ">>>>>>> theirs\n", true};
      }
    }
  }
  std::vector<OracleHunk> all = o;
  all.insert(all.end(), t.begin(), t.end());
  std::stable_sort(all.begin(), all.end(), [](const OracleHunk& x, const OracleHunk& y) {
    return std::make_pair(x.start, x.end) < std::make_pair(y.start, y.end);
  });
  std::vector<std::string> out;
  long p = 0;
  const long n = static_cast<long>(base_lines.size());
  for (const OracleHunk& h : all) {
    while (p < h.start && p < n) out.push_back(base_lines[p++]);
    p = std::max(p, h.end);
    out.insert(out.end(), h.lines.begin(), h.lines.end());
  }
  while (p < n) out.push_back(base_lines[p++]);
  std::string text;
  for (const std::string& line : out) text += line + "\n";
  return {text, false};
}

std::string random_text(std::mt19937& rng, const std::vector<std::string>& pool, size_t max) {
  std::string text;
  const size_t count = rng() % (max + 1);
  for (size_t i = 0; i < count; ++i) text += pool[rng() % pool.size()] + "\n";
  if (!text.empty() && rng() % 4 == 0) text.pop_back();
  return text;
}

// A copy of the base with a few lines replaced, dropped or added.
std::string edit(std::mt19937& rng, const std::string& base, const std::vector<std::string>& pool) {
  std::vector<std::string> lines = oracle_split(base);
  for (int edits = rng() % 4; edits > 0; --edits) {
    const size_t at = lines.empty() ? 0 : rng() % (lines.size() + 1);
    const std::string& line = pool[rng() % pool.size()];
    switch (rng() % 3) {
      case 0:
        lines.insert(lines.begin() + at, line);
        break;
      case 1:
        if (at < lines.size()) lines.erase(lines.begin() + at);
        break;
      default:
        if (at < lines.size()) lines[at] = line;
    }
  }
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

TEST(MergeText, AgreesWithTheStepByStepMergeOnRandomTriples) {
  std::mt19937 rng(20240611);
  const std::vector<std::string> pool{"a", "b", "c", "d", "", "}", "a\r"};
  int conflicts = 0;
  for (int round = 0; round < 20000; ++round) {
    const std::string base = random_text(rng, pool, 8);
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
    const char* name;
    std::string base, ours, theirs, content;
    bool conflict;
  };
  const Case cases[] = {
      {"equal sides win over the base", "x", "y", "y", "y", false},
      {"unchanged ours gives theirs unchanged", "a\n", "a\n", "b", "b", false},
      {"unchanged theirs gives ours unchanged", "a\n", "b", "a\n", "b", false},
      {"additions to an absent file both go in", "", "o\n", "t", "o\nt\n", false},
      {"same change to one line conflicts", "1\n2\n3\n", "1\n2\nX\n", "1\n2\nX",
       "<<<<<<< ours\n1\n2\nX\n=======\n1\n2\nX\n>>>>>>> theirs\n", true},
      {"insertion before a replaced range", "1\n2\n3\n4\n5\n", "1\n2\nnew\n3\n4\n5\n",
       "1\n2\nC\nD\n5\n", "1\n2\nnew\nC\nD\n5\n", false},
      {"insertion inside a replaced range conflicts", "1\n2\n3\n4\n", "1\n2\nnew\n3\n4\n",
       "1\nX\nY\n4\n", "<<<<<<< ours\n1\n2\nnew\n3\n4\n=======\n1\nX\nY\n4\n>>>>>>> theirs\n",
       true},
      {"empty ours in a conflict", "a\n", "", "b\n", "<<<<<<< ours\n=======\nb\n>>>>>>> theirs\n",
       true},
      {"a last line gains its newline", "a\nb\nc", "A\nb\nc", "a\nb\nC", "A\nb\nC\n", false},
  };
  for (const Case& c : cases) {
    TextMergeResult got = merge_text(c.base, c.ours, c.theirs);
    EXPECT_EQ(got.content, c.content) << c.name;
    EXPECT_EQ(got.conflict, c.conflict) << c.name;
  }
}

TEST(LineDiff, GivesRegionsInBaseOrder) {
  const std::vector<std::string_view> base{"1", "2", "3", "4"};
  const std::vector<std::string_view> other{"0", "1", "3", "x", "y"};
  std::vector<ChangeHunk> hunks = line_diff(base, other);
  ASSERT_EQ(hunks.size(), 3u);
  EXPECT_EQ(std::make_pair(hunks[0].base_start, hunks[0].base_end), std::make_pair(0, 0));
  EXPECT_EQ(hunks[0].lines, std::vector<std::string_view>{"0"});
  EXPECT_EQ(std::make_pair(hunks[1].base_start, hunks[1].base_end), std::make_pair(1, 2));
  EXPECT_TRUE(hunks[1].lines.empty());
  EXPECT_EQ(std::make_pair(hunks[2].base_start, hunks[2].base_end), std::make_pair(3, 4));
  EXPECT_EQ(hunks[2].lines, (std::vector<std::string_view>{"x", "y"}));
}

}  // namespace
