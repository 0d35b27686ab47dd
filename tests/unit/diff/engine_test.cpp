#include "diff/engine.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string_view>;

// The search exactly as first described: a full copy of V per pass, every
// diagonal in a map, no prefix shortcut, strings compared directly.
EditScript naive_diff(const Lines& a, const Lines& b) {
  const long n = static_cast<long>(a.size());
  const long m = static_cast<long>(b.size());
  std::map<long, long> v{{1, 0}};
  std::vector<std::map<long, long>> trace;
  long x = 0;
  long y = 0;
  for (long d = 0; d <= n + m; ++d) {
    trace.push_back(v);
    bool done = false;
    for (long k = -d; k <= d && !done; k += 2) {
      if (k == -d) {
        x = v[k + 1];
      } else if (k == d) {
        x = v[k - 1] + 1;
      } else {
        x = std::max(v[k + 1], v[k - 1] + 1);
      }
      y = x - k;
      while (x < n && y < m && a[x] == b[y]) ++x, ++y;
      v[k] = x;
      done = x >= n && y >= m;
    }
    if (done) break;
  }
  EditScript reversed;
  x = n;
  y = m;
  for (long d = static_cast<long>(trace.size()) - 1; d >= 0; --d) {
    std::map<long, long>& w = trace[d];
    const long k = x - y;
    const bool insertion = k == -d || (k != d && w[k - 1] < w[k + 1]);
    const long prev_k = insertion ? k + 1 : k - 1;
    const long prev_x = w[prev_k];
    const long prev_y = prev_x - prev_k;
    while (x > prev_x && y > prev_y) {
      reversed.push_back({' ', a[x - 1]});
      --x, --y;
    }
    if (d == 0) break;
    if (insertion) {
      reversed.push_back({'+', b[y - 1]});
      --y;
    } else {
      reversed.push_back({'-', a[x - 1]});
      --x;
    }
  }
  return EditScript(reversed.rbegin(), reversed.rend());
}

std::string show(const EditScript& script) {
  std::string text;
  for (const EditOp& entry : script) {
    text.push_back(entry.op);
    text.append(entry.line).push_back('|');
  }
  return text;
}

// Lines for random cases live here so the views stay valid.
const std::vector<std::string> k_words = {"a", "b", "c", "d", "e", "f", "g", "h"};

Lines random_lines(std::mt19937& rng, size_t max_length, size_t alphabet) {
  std::uniform_int_distribution<size_t> length(0, max_length);
  std::uniform_int_distribution<size_t> word(0, alphabet - 1);
  Lines lines(length(rng));
  for (std::string_view& line : lines) line = k_words[word(rng)];
  return lines;
}

// A random pair shaped like real edits half of the time: a copy of one side
// with up to `max_edits` lines dropped, replaced or added, so prefixes,
// suffixes and long shared runs are common.
std::pair<Lines, Lines> random_pair(std::mt19937& rng, size_t max_length, size_t max_edits,
                                    size_t alphabet) {
  Lines old_lines = random_lines(rng, max_length, alphabet);
  switch (rng() % 6) {
    case 0:
      return {old_lines, random_lines(rng, max_length, alphabet)};
    case 1:
      return {old_lines, old_lines};
    case 2:
      return rng() % 2 ? std::pair{old_lines, Lines{}} : std::pair{Lines{}, old_lines};
    default:
      break;
  }
  Lines new_lines = old_lines;
  for (size_t edits = rng() % (max_edits + 1); edits > 0; --edits) {
    const size_t at = new_lines.empty() ? 0 : rng() % (new_lines.size() + 1);
    const std::string_view word = k_words[rng() % alphabet];
    if (rng() % 3 == 0 || at == new_lines.size()) {
      new_lines.insert(new_lines.begin() + static_cast<long>(at), word);
    } else if (rng() % 2) {
      new_lines.erase(new_lines.begin() + static_cast<long>(at));
    } else {
      new_lines[at] = word;
    }
  }
  return rng() % 2 ? std::pair{old_lines, new_lines} : std::pair{new_lines, old_lines};
}

TEST(SplitLines, FollowsTheNewlineRules) {
  const struct {
    std::string content;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"\n", {""}},
      {"a", {"a"}},
      {"a\nb\n", {"a", "b"}},
      {"a\n\nb\n\n", {"a", "", "b", ""}},
      {"a\r\nb\r\n", {"a\r", "b\r"}},
      {std::string("x\0y\n", 4), {std::string("x\0y", 3)}},
  };
  for (const auto& c : cases) {
    const Lines lines = split_lines(c.content);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.end()), c.lines) << c.content;
  }
}

TEST(DiffLines, GivesTheExpectedScripts) {
  const struct {
    Lines old_lines;
    Lines new_lines;
    std::string script;
  } cases[] = {
      {{"a", "b", "c", "d"}, {"x", "y", "c", "d"}, "-a|-b|+x|+y| c| d|"},
      {{"a", "a", "a"}, {"a"}, " a|-a|-a|"},
      {{"a", "b", "a", "b"}, {"b", "a", "b", "a"}, "-a| b| a| b|+a|"},
      {{"x", "a", "b"}, {"a", "b", "x"}, "-x| a| b|+x|"},
  };
  for (const auto& c : cases) EXPECT_EQ(show(diff_lines(c.old_lines, c.new_lines)), c.script);
}

TEST(DiffLines, CarriesTheOldSideLineForContext) {
  const std::string old_text = "same\nold\n";
  const std::string new_text = "same\nnew\n";
  const EditScript script = diff_lines(split_lines(old_text), split_lines(new_text));
  ASSERT_EQ(show(script), " same|-old|+new|");
  EXPECT_EQ(script[0].line.data(), old_text.data());
  EXPECT_EQ(script[2].line.data(), new_text.data() + 5);
}

TEST(DiffLines, MatchesTheDirectSearchOnRandomSmallInputs) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 5000; ++round) {
    const auto [old_lines, new_lines] = random_pair(rng, 12, 3, 1 + rng() % 4);
    ASSERT_EQ(show(diff_lines(old_lines, new_lines)), show(naive_diff(old_lines, new_lines)))
        << "round " << round;
  }
}

// Long enough for edit distances in the hundreds, where the search keeps
// only some of its passes and recomputes the others on the way back.
TEST(DiffLines, MatchesTheDirectSearchOnLongerInputs) {
  std::mt19937 rng(7);
  for (int round = 0; round < 120; ++round) {
    const auto [old_lines, new_lines] = random_pair(rng, 300, 40, 2 + round % 6);
    ASSERT_EQ(show(diff_lines(old_lines, new_lines)), show(naive_diff(old_lines, new_lines)))
        << "round " << round;
  }
}

TEST(GroupHunks, MatchesTheGroupingRules) {
  // Scripts are written as their operation characters; every line is "x".
  const struct {
    std::string ops;
    size_t context;
    std::vector<std::pair<size_t, size_t>> hunks;
  } cases[] = {
      {"+-", 0, {{0, 2}}},
      {"         -          ", 3, {{6, 13}}},
      // Seven unchanged lines apart: two hunks; four apart: one.
      {"    -       -    ", 3, {{1, 8}, {9, 16}}},
      {"    -    -    ", 3, {{1, 13}}},
      // Exactly six apart: the second start meets the first end.
      {"-      -", 3, {{0, 8}}},
      // A change inside the trailing context is covered, not extended.
      {"   -  -      ", 3, {{0, 7}}},
      {"- - - ", 1, {{0, 6}}},
      {"-  -", 0, {{0, 1}, {3, 4}}},
  };
  for (const auto& c : cases) {
    EditScript script;
    for (char op : c.ops) script.push_back({op, "x"});
    std::vector<std::pair<size_t, size_t>> hunks;
    for (const Hunk& hunk : group_hunks(script, c.context))
      hunks.emplace_back(hunk.start, hunk.end);
    EXPECT_EQ(hunks, c.hunks) << '"' << c.ops << "\" context " << c.context;
  }
}

TEST(IsBinary, LooksForAZeroByteAnywhere) {
  EXPECT_FALSE(is_binary(std::string_view()));  // no data pointer at all
  EXPECT_FALSE(is_binary("text\r\n\x01\xff"));
  EXPECT_TRUE(is_binary(std::string_view("\0", 1)));
  EXPECT_TRUE(is_binary(std::string(100000, 'a') + std::string(1, '\0')));
}

}  // namespace
