#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace testing_support {
namespace {

using GrepCommand = OrreryTest;

std::vector<std::string> sorted_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// A tree of ASCII text in mixed case, generated the same way every run,
// with binary files that start with a zero byte.
void write_generated_tree(const std::string& root) {
  const char* words[] = {"Alpha", "beta",   "GAMMA", "delta", "needle",  "Needle", "hay",
                         "stack", "NEEDLE", "-dash", "x",     "foo bar", "ba"};
  uint32_t state = 12345;
  auto next = [&] { return state = state * 1103515245 + 12345, (state >> 16) % 1000; };
  for (int f = 0; f < 40; ++f) {
    std::string path = concat("d", f % 4, "/s", f % 3, "/f", f, f % 5 == 0 ? ".c" : ".txt");
    std::string text = f % 13 == 7 ? std::string("\0needle\n", 8) : "";
    for (int line = 0, lines = static_cast<int>(next() % 30); line < lines; ++line) {
      for (int w = 0, n = static_cast<int>(next() % 6); w < n; ++w) {
        text += std::string(words[next() % 13]) + (next() % 4 == 0 ? "" : " ");
      }
      text += f % 6 == 0 ? "\r\n" : "\n";
    }
    write_text(root + "/" + path, text);
  }
}

TEST_F(GrepCommand, FindsWhatGnuGrepFindsForFixedStrings) {
  init_repo();
  write_generated_tree(dir.path());
  const RunOptions in_tree{dir.path(), "", {{"LC_ALL", "C"}}};
  for (const std::string pattern : {"needle", "Needle", "foo bar", "a", "ba ", "-dash", "zz"}) {
    for (bool icase : {false, true}) {
      SCOPED_TRACE(pattern + (icase ? " -i" : ""));
      std::vector<std::string> ours_args{"grep", "-n"}, gnu_args{"-rnFI", "--exclude-dir=.orrery"};
      if (icase) ours_args.push_back("-i"), gnu_args.push_back("-i");
      ours_args.insert(ours_args.end(), {"--", pattern});
      gnu_args.insert(gnu_args.end(), {"-e", pattern});
      RunResult ours = orrery(ours_args);
      RunResult gnu = run_program("grep", gnu_args, in_tree);
      // GNU grep keeps the "\r" of CRLF lines; this command drops it.
      gnu.out.erase(std::remove(gnu.out.begin(), gnu.out.end(), '\r'), gnu.out.end());
      EXPECT_EQ(sorted_lines(ours.out), sorted_lines(gnu.out));
      EXPECT_EQ(ours.code, gnu.code);
    }
  }
}

TEST_F(GrepCommand, WalksInByteOrderAndSkipsIgnoredBinaryAndMetadata) {
  init_repo();
  write_text(file(".orreryignore"), "*.log\nbuild/\n");
  write_text(file("b.txt"), "key = 1\r\nnothing\n");
  write_text(file("a/z.txt"), "Key here\n");
  write_text(file("a/B.txt"), "no\nkey");
  write_text(file("a/sub/k.txt"), "key\n");
  write_text(file("a.txt"), "the key\n");
  write_text(file("x.log"), "key\n");
  write_text(file("build/out"), "key\n");
  write_text(file("nested/.git/config"), "key\n");
  write_text(file("late.bin"), std::string(8192, 'a') + '\0' + "\nkey\n");
  write_text(file("early.bin"), std::string(8191, 'a') + '\0' + "\nkey\n");

  EXPECT_RUN(orrery({"grep", "-n", "key"}), 0,
             "a.txt:1:the key\nb.txt:1:key = 1\nlate.bin:2:key\na/B.txt:2:key\n"
             "a/sub/k.txt:1:key\n",
             "");
  EXPECT_RUN(orrery_in(file("a"), {"grep", "-i", "-E", "^k.y", ".", "../b.txt"}), 0,
             "a/B.txt:key\na/z.txt:Key here\na/sub/k.txt:key\nb.txt:key = 1\n", "");
  EXPECT_RUN(orrery({"grep", "key", ".orrery", "build", "x.log"}), 1, "", "");
  EXPECT_RUN(orrery({"-q", "grep", "key"}), 0, "", "");
  EXPECT_RUN(orrery({"-q", "grep", "absent"}), 1, "", "");
}

TEST_F(GrepCommand, SurvivesHostileLinesAndExpressions) {
  init_repo();
  write_text(file("long.txt"), std::string(100000, 'a') + "c\n" + std::string(100000, 'a') + "\n");
  for (const std::string pattern : {"(a|b)*c", "(a)\\1*c", "(a|aa)*b"}) {
    SCOPED_TRACE(pattern);
    RunResult r = orrery({"grep", "-n", "-E", pattern});
    EXPECT_EQ(r.code, pattern.back() == 'c' ? 0 : 1);
    EXPECT_EQ(r.out.substr(0, 11), pattern.back() == 'c' ? "long.txt:1:" : "");
  }
}

TEST_F(GrepCommand, ReportsExpressionAndPathErrorsWithTwo) {
  init_repo();
  EXPECT_RUN(orrery({"grep", "-E", "(a", "missing"}), 2, "",
             "orrery: ошибка: неверное регулярное выражение\n  подсказка: Mismatched '(' and ')' "
             "in regular expression\n");
  EXPECT_RUN(orrery({"grep", "a", "../outside"}), 2, "",
             "orrery: ошибка: путь не в репозитории или неверен\n");
}

}  // namespace
}  // namespace testing_support
