#include "store/ignore.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>

namespace {

// The recursive definition, kept naive on purpose as the reference.
bool reference_glob(std::string_view p, std::string_view t) {
  if (p.empty()) return t.empty();
  if (p[0] == '*') {
    while (!p.empty() && p[0] == '*') p.remove_prefix(1);
    if (p.empty()) return true;
    for (size_t i = 0; i < t.size(); ++i) {
      if (reference_glob(p, t.substr(i))) return true;
    }
    return false;
  }
  if (t.empty()) return false;
  if (p[0] != '?' && p[0] != t[0]) return false;
  return reference_glob(p.substr(1), t.substr(1));
}

TEST(GlobMatch, AgreesWithTheRecursiveDefinitionOnRandomInputs) {
  std::mt19937 rng(12345);
  const std::string pattern_chars = "ab*?/";
  const std::string text_chars = "ab/";
  for (int round = 0; round < 20000; ++round) {
    std::string pattern, text;
    for (int i = rng() % 8; i > 0; --i) pattern += pattern_chars[rng() % pattern_chars.size()];
    for (int i = rng() % 10; i > 0; --i) text += text_chars[rng() % text_chars.size()];
    ASSERT_EQ(glob_match(pattern, text), reference_glob(pattern, text))
        << "pattern '" << pattern << "' text '" << text << "'";
  }
}

// A pattern that is exponential for naive backtracking must stay fast.
TEST(GlobMatch, PathologicalPatternStaysPolynomial) {
  std::string text(10000, 'a');
  EXPECT_FALSE(glob_match("*a*a*a*a*a*a*a*a*b", text));
  EXPECT_TRUE(glob_match("*a*a*a*a*a*a*a*a*", text));
}

TEST(ParseIgnoreRules, ReadsFlagsAndSkipsEmptyAndCommentLines) {
  IgnoreRules rules =
      parse_ignore_rules("  *.log  \r\n# comment\n   \n!\n!keep.log\nbuild/\n/tmp\n!/x/");
  ASSERT_EQ(rules.size(), 5u);
  EXPECT_EQ(rules[0].pattern, "*.log");
  EXPECT_TRUE(rules[1].negated);
  EXPECT_EQ(rules[1].pattern, "keep.log");
  EXPECT_TRUE(rules[2].dir_only);
  EXPECT_EQ(rules[2].pattern, "build");
  EXPECT_EQ(rules[3].pattern, "/tmp");
  EXPECT_TRUE(rules[4].negated && rules[4].dir_only);
  EXPECT_EQ(rules[4].pattern, "/x");
}

TEST(IsIgnored, DecidesByTheLastMatchingRule) {
  struct Case {
    const char* rules;
    const char* path;
    bool is_dir;
    bool ignored;
  } cases[] = {
      {"", ".orrery/index", false, true},
      {"", ".git/config", false, true},
      {"", "sub/.git/config", false, false},
      {".git", "sub/.git/config", false, true},
      {"*.log\n!keep.log", "a.log", false, true},
      {"*.log\n!keep.log", "keep.log", false, false},
      {"!keep.log\n*.log", "keep.log", false, true},
      {"build", "build/out.o", false, true},
      {"build", "src/build/x", false, true},
      {"/build", "src/build/x", false, true},
      {"docs/*.md", "docs/sub/b.md", false, true},
      {"docs/*.md", "a/docs/c.md", false, false},
      {"tmp/", "tmp", true, true},
      {"tmp/", "tmp/x", false, false},
      {"a\\b", "a/b", false, true},
      {"*", "\\lead", false, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(is_ignored(parse_ignore_rules(c.rules), c.path, c.is_dir), c.ignored)
        << "rules '" << c.rules << "' path '" << c.path << "'";
  }
}

}  // namespace
