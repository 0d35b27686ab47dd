#include "diff/changes.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

#include "cli/console.h"
#include "diff/diff_cmd.h"
#include "store/fs.h"
#include "store/repo.h"
#include "support/test_support.h"

namespace {

using testing_support::TempDir;

struct Pair {
  std::string path;
  std::string old_bytes;
  std::string new_bytes;
};

// a.txt changes a line, same is unchanged, gone is emptied, fresh starts empty.
const Pair k_pairs[] = {{"a.txt", "x\ny\n", "x\nz\n"},
                        {"same", "s\n", "s\n"},
                        {"gone", "g\n", ""},
                        {"fresh", "", "f\n"}};

std::string report_all(ChangeReport& report) {
  std::ostringstream out;
  for (const Pair& pair : k_pairs)
    report_path(out, report, pair.path, pair.old_bytes, pair.new_bytes);
  finish_report(out, report);
  return out.str();
}

TEST(ReportPath, WritesEachFormatAndSkipsIdenticalBytes) {
  const struct {
    DiffFormat format;
    std::string out;
  } cases[] = {
      {DiffFormat::name_only, "a.txt\ngone\nfresh\n"},
      {DiffFormat::name_status, "M\ta.txt\nD\tgone\nA\tfresh\n"},
      {DiffFormat::stat,
       " a.txt | 2 +-\n gone | 1 -\n fresh | 1 +\n"
       " 3 files changed, 2 insertions(+), 2 deletions(-)\n"},
      {DiffFormat::shortstat, " 3 files changed, 2 insertions(+), 2 deletions(-)\n"},
      {DiffFormat::patch,
       "diff -- a/a.txt b/a.txt\n--- a/a.txt\n+++ b/a.txt\n@@ -1,2 +1,2 @@\n x\n-y\n+z\n\n"
       "diff -- a/gone b/gone\n--- a/gone\n+++ b/gone\n@@ -1,1 +1,0 @@\n-g\n\n"
       "diff -- a/fresh b/fresh\n--- a/fresh\n+++ b/fresh\n@@ -1,0 +1,1 @@\n+f\n\n"},
  };
  for (const auto& c : cases) {
    ChangeReport report;
    report.format = c.format;
    EXPECT_EQ(report_all(report), c.out);
    EXPECT_TRUE(report.changed);
  }
}

TEST(ReportPath, IdenticalBytesLeaveTheReportUnchangedAndPrintNoSummary) {
  for (DiffFormat format : {DiffFormat::patch, DiffFormat::stat, DiffFormat::shortstat,
                            DiffFormat::name_only, DiffFormat::name_status}) {
    ChangeReport report;
    report.format = format;
    std::ostringstream out;
    report_path(out, report, "p", "same\n", "same\n");
    report_path(out, report, "q", "", "");
    EXPECT_FALSE(finish_report(out, report));
    EXPECT_EQ(out.str(), "");
    EXPECT_TRUE(report.stats.empty());
  }
}

TEST(ReportListedPath, NamesThePathWithoutComparing) {
  ChangeReport report;
  report.format = DiffFormat::name_status;
  std::ostringstream out;
  report_listed_path(out, report, 'A', "empty");
  report.format = DiffFormat::name_only;
  report_listed_path(out, report, 'D', "dir/x");
  EXPECT_EQ(out.str(), "A\tempty\ndir/x\n");
  EXPECT_TRUE(report.changed);
}

class StoreReads : public ::testing::Test {
 protected:
  std::string object_file(const ObjectId& id) {
    return orrery_path(repo, "objects/" + id.substr(0, 2) + "/" + id.substr(2));
  }

  TempDir dir;
  Repository repo{dir.path()};
};

TEST_F(StoreReads, ReadBlobTellsMissingAndDamagedFromOtherTypes) {
  const ObjectId blob = write_object(repo.objects, "blob", "content\n");
  const ObjectId tree = write_object(repo.objects, "tree", "[]");
  const ObjectId damaged = write_object(repo.objects, "blob", "will be damaged\n");
  write_file_atomic(object_file(damaged), "not a zlib stream");
  EXPECT_EQ(read_blob(repo.objects, blob), "content\n");
  EXPECT_EQ(read_blob(repo.objects, tree), "");
  EXPECT_EQ(read_blob(repo.objects, damaged), std::nullopt);
  EXPECT_EQ(read_blob(repo.objects, std::string(64, '0')), std::nullopt);
  EXPECT_EQ(read_blob(repo.objects, "not an id"), std::nullopt);
  EXPECT_EQ(blob_bytes(repo.objects, damaged), "");
}

TEST_F(StoreReads, CommitTreeMapIsEmptyForAnythingButAReadableCommit) {
  const ObjectId blob = write_object(repo.objects, "blob", "x\n");
  const ObjectId tree =
      write_object(repo.objects, "tree", serialize_tree({{"100644", "blob", blob, "x.txt"}}));
  const ObjectId commit =
      write_object(repo.objects, "commit", serialize_commit({tree, {}, "tester", "m", 1}));
  const ObjectId bad_json = write_object(repo.objects, "commit", "{not json");
  EXPECT_EQ(commit_tree_map(repo.objects, commit), (PathMap{{"x.txt", blob}}));
  EXPECT_TRUE(commit_tree_map(repo.objects, blob).empty());
  EXPECT_TRUE(commit_tree_map(repo.objects, bad_json).empty());
  EXPECT_TRUE(commit_tree_map(repo.objects, std::string(64, 'f')).empty());
}

TEST_F(StoreReads, NoDifferencesIsGreenOnAColourTerminal) {
  std::ostringstream captured;
  std::streambuf* saved = std::cout.rdbuf(captured.rdbuf());
  g_color = true;
  set_stdout_terminal_for_testing(true);
  const int code = diff_index_worktree(repo, Index{}, DiffFormat::patch);
  set_stdout_terminal_for_testing(false);
  std::cout.rdbuf(saved);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(captured.str(), "\x1b[32mНет отличий\x1b[0m\n");
}

}  // namespace
