#include "diff/patch.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string_view>;

std::string patch_of(std::string_view old_text, std::string_view new_text,
                     bool* changed = nullptr) {
  std::ostringstream out;
  bool flag = false;
  print_file_patch(out, "f.txt", old_text, new_text, flag);
  if (changed) *changed = flag;
  return out.str();
}

std::string stat_lines(const std::vector<FileStat>& stats) {
  std::ostringstream out;
  print_stat(out, stats);
  return out.str();
}

std::string shortstat(const std::vector<FileStat>& stats) {
  std::ostringstream out;
  print_shortstat(out, stats);
  return out.str();
}

TEST(RenderHunk, WritesEveryEntryOnItsOwnLine) {
  const Lines old_lines = {"a", "b", "c"};
  const Lines new_lines = {"a", "x", "c"};
  const EditScript script = diff_lines(old_lines, new_lines);
  EXPECT_EQ(render_hunk(script, {0, script.size()}), "@@ -1,3 +1,3 @@\n a\n-b\n+x\n c\n");
  EXPECT_EQ(render_hunk(script, {2, 4}), "@@ -3,1 +2,2 @@\n+x\n c\n");
  EXPECT_EQ(render_hunk(script, {4, 4}), "@@ -4,0 +4,0 @@\n");
}

TEST(FilePatch, SeparatesChangesFarApartIntoHunks) {
  const Lines old_lines = split_lines("1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n");
  const Lines new_lines = split_lines("1\nTWO\n3\n4\n5\n6\n7\n8\n9\n10\nELEVEN\n12\n");
  EXPECT_EQ(file_patch("dir/f", old_lines, new_lines, 3),
            "diff -- a/dir/f b/dir/f\n--- a/dir/f\n+++ b/dir/f\n"
            "@@ -1,5 +1,5 @@\n 1\n-2\n+TWO\n 3\n 4\n 5\n"
            "@@ -8,5 +8,5 @@\n 8\n 9\n 10\n-11\n+ELEVEN\n 12\n");
  EXPECT_EQ(file_patch("dir/f", old_lines, old_lines, 3), "");
}

TEST(PrintFilePatch, WritesThePatchOrANotice) {
  const std::string nul("a\0b\n", 4);
  const struct {
    std::string old_text;
    std::string new_text;
    bool changed;
    std::string printed;
  } cases[] = {
      {"same\n", "same\n", false, ""},
      {"a\nb", "a\nb\n", true, ""},
      {"a\n", "b\n", true,
       "diff -- a/f.txt b/f.txt\n--- a/f.txt\n+++ b/f.txt\n@@ -1,1 +1,1 @@\n-a\n+b\n\n"},
      {"text\n", nul, true, "diff -- a/f.txt b/f.txt\nБинарные файлы различаются\n\n"},
      {"a\r\n", "a\n", true,
       "diff -- a/f.txt b/f.txt\n--- a/f.txt\n+++ b/f.txt\n@@ -1,1 +1,1 @@\n-a\r\n+a\n\n"},
  };
  for (const auto& c : cases) {
    bool changed = false;
    EXPECT_EQ(patch_of(c.old_text, c.new_text, &changed), c.printed) << c.old_text;
    EXPECT_EQ(changed, c.changed) << c.old_text;
  }
}

TEST(FileStat, CountsChangedLines) {
  const std::string nul("\0", 1);
  const struct {
    std::string old_text;
    std::string new_text;
    std::optional<std::tuple<uint32_t, uint32_t, bool>> counts;
  } cases[] = {
      {nul, nul, std::nullopt},
      {"a\nb\nc\n", "a\nx\nc\nd\n", std::tuple{2u, 1u, false}},
      {"a\n", nul, std::tuple{0u, 0u, true}},
  };
  for (const auto& c : cases) {
    const std::optional<FileStat> stat = file_stat("p", c.old_text, c.new_text);
    ASSERT_EQ(stat.has_value(), c.counts.has_value()) << c.old_text;
    if (!stat) continue;
    EXPECT_EQ(stat->path, "p");
    EXPECT_EQ(std::tuple(stat->insertions, stat->deletions, stat->binary), *c.counts);
  }
}

TEST(StatBar, ScalesToTheWidth) {
  const struct {
    uint32_t insertions;
    uint32_t deletions;
    uint32_t width;
    size_t plus;
    size_t minus;
  } cases[] = {
      {0, 0, 52, 0, 0},
      {52, 0, 52, 52, 0},
      {100, 1, 52, 51, 1},
      {1, 1000000, 52, 1, 51},
      {50, 50, 52, 26, 26},
      {2, 1, 2, 1, 1},
      {4000000000u, 4000000000u, 52, 26, 26},
      {5, 5, 0, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(stat_bar(c.insertions, c.deletions, c.width),
              std::string(c.plus, '+') + std::string(c.minus, '-'))
        << c.insertions << " " << c.deletions << " " << c.width;
  }
  EXPECT_EQ(stat_bar(7, 3), "+++++++---");
}

TEST(PrintShortstat, WritesTheSummaryLine) {
  const FileStat bin{"b", 0, 0, true};
  const struct {
    std::vector<FileStat> stats;
    std::string line;
  } cases[] = {
      {{}, " 0 files changed\n"},
      {{{"a", 0, 0, false}}, " 1 file changed\n"},
      {{{"a", 3, 0, false}}, " 1 file changed, 3 insertions(+), 0 deletions(-)\n"},
      {{{"a", 1, 1, false}}, " 1 file changed, 1 insertion(+), 1 deletion(-)\n"},
      {{{"a", 0, 2, false}, {"c", 0, 0, false}},
       " 2 files changed, 0 insertions(+), 2 deletions(-)\n"},
      {{bin}, " 1 file changed: 1 binary file\n"},
      {{bin, bin}, " 2 files changed: 2 binary files\n"},
      {{{"a", 2, 0, false}, bin},
       " 2 files changed, 2 insertions(+), 0 deletions(-); 1 binary file\n"},
      {{{"a", 0, 0, false}, bin}, " 2 files changed: 1 binary file\n"},
      {{{"a", 4000000000u, 0, false}, {"c", 4000000000u, 0, false}},
       " 2 files changed, 8000000000 insertions(+), 0 deletions(-)\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(shortstat(c.stats), c.line);
}

TEST(PrintStat, WritesOneLinePerFileThenTheSummary) {
  EXPECT_EQ(stat_lines({{"src/a.cpp", 3, 2, false},
                        {"img.png", 0, 0, true},
                        {"eol.txt", 0, 0, false},
                        {"big", 100, 1, false}}),
            " src/a.cpp | 5 +++--\n"
            " img.png | Bin\n"
            " eol.txt | 0\n"
            " big | 101 " +
                std::string(51, '+') + "-\n" +
                " 4 files changed, 103 insertions(+), 3 deletions(-); 1 binary file\n");
}

}  // namespace
