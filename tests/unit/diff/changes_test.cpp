#include "diff/changes.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

#include "cli/console.h"
#include "diff/diff_cmd.h"
#include "store/repo.h"
#include "support/test_support.h"

namespace {

class StoreReads : public ::testing::Test {
 protected:
  testing_support::TempDir dir;
  Repository repo{dir.path()};
};

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
  const int code = print_diff(do_diff(repo, DiffOptions{}, std::cout));
  set_stdout_terminal_for_testing(false);
  std::cout.rdbuf(saved);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(captured.str(), "\x1b[32mНет отличий\x1b[0m\n");
}

}  // namespace
