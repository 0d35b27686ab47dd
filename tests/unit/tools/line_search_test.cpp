#include "tools/internal/line_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// "number:line" for every match.
std::vector<std::string> matches(std::string_view pattern, bool is_regex, bool ignore_case,
                                 std::string_view content) {
  LineSearch search = make_line_search(pattern, is_regex, ignore_case);
  std::vector<std::string> out;
  search_lines(search, content, [&](size_t number, std::string_view line) {
    out.push_back(std::to_string(number) + ":" + std::string(line));
    return true;
  });
  return out;
}

using Lines = std::vector<std::string>;

TEST(RequiredLiteral, KeepsOnlyBytesEveryMatchHolds) {
  const std::pair<std::string, std::string> cases[] = {
      {"fo+bar[0-9]", "bar"},
      {"foobar", "foobar"},
      {"ab*cd", "cd"},
      {"ab?cd", "cd"},
      {"x{0}yz", "yz"},
      {"x{00,2}yz", "yz"},
      {"wx{2,}yz", "wx"},
      {"a.bc", "bc"},
      {"a|bcd", ""},
      {"(a|b)cde", "cde"},
      {"\\x41\\x42zz", "zz"},
      {"\\u0041bcd", "bcd"},
      {"\\cJab", "ab"},
      {"(x)\\12ab", "ab"},
      {"a\\.bc", "a.bc"},
      {"[^]ab", "ab"},
      {"(?:q|r)+\\(st", "(st"},
      {"ab+?c", "ab"},
      {"^abc$", "abc"},
      {"\\bword\\b", "word"},
      {"", ""},
      {"[\\]]ab", "ab"},
      {"a]b", ""},
  };
  for (const auto& [pattern, literal] : cases) {
    EXPECT_EQ(required_literal(pattern), literal) << pattern;
  }
}

TEST(SearchLines, FindsFixedStringsLineByLine) {
  const std::string text = "alpha\r\nBeta gamma\n\nbeta\nlast beta";
  EXPECT_EQ(matches("beta", false, false, text), (Lines{"4:beta", "5:last beta"}));
  EXPECT_EQ(matches("BETA", false, true, text), (Lines{"2:Beta gamma", "4:beta", "5:last beta"}));
  EXPECT_EQ(matches("alpha", false, false, text), (Lines{"1:alpha"}));  // "\r" dropped
  EXPECT_EQ(matches("a\r", false, false, text), Lines{});
  EXPECT_EQ(matches("a\nB", false, false, text), Lines{});  // never across lines
  EXPECT_EQ(matches("", false, false, "x\n\ny\n"), (Lines{"1:x", "2:", "3:y"}));
  EXPECT_EQ(matches("é", false, true, "É\né\n"), (Lines{"2:é"}));  // ASCII folding only
}

// The literal filter and the polynomial mode must answer every line as the
// plain backtracking search would.
TEST(SearchLines, AgreesWithThePlainExpressionSearch) {
  const std::string patterns[] = {"fo+bar[0-9]", "^a.*z$",    "(ab|cd)+e",  "x{2,3}y",
                                  "\\d+\\.\\d",  "(a)\\1b",   "[A-Z]oo",    "o\\b",
                                  "a|zz",        "(?=ab)abc", "colou?r\\s", "\\bFOO"};
  const std::string text =
      "foobar1\nfoooobarx\nabz\naz\nababe\ncde\nxxy\nxy\n1.5\n12.\naab\nab\nZoo\nfoo bar\n"
      "zz\nabc\ncolor \ncolour\nFOO\nxFOO\n";
  for (const std::string& pattern : patterns) {
    for (bool icase : {false, true}) {
      auto flags = std::regex::ECMAScript | (icase ? std::regex::icase : std::regex::ECMAScript);
      const std::regex plain(pattern, flags);
      Lines expected;
      size_t number = 0;
      for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        if (std::regex_search(line, plain))
          expected.push_back(std::to_string(++number) + ":" + line);
        else
          ++number;
        start = end + 1;
      }
      EXPECT_EQ(matches(pattern, true, icase, text), expected) << pattern << " icase " << icase;
    }
  }
}

}  // namespace
