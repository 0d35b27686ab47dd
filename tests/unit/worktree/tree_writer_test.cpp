#include "worktree/tree_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "store/fs.h"
#include "store/repo.h"
#include "support/repo_builder.h"
#include "support/test_support.h"

namespace testing_support {
namespace {

class TreeWriter : public ::testing::Test {
 protected:
  TempDir dir;
  Repository repo{dir.path()};
};

TEST_F(TreeWriter, WritesNestedFilesAndLeavesOthersAlone) {
  ObjectId tree = store_tree(repo, {{"a.txt", "a\n"}, {"d/e/f.txt", "f\n"}});
  write_text(dir / "other.txt", "stays\n");
  write_text(dir / "a.txt", "overwritten\n");
  write_tree_files(repo.objects, tree, dir.path());
  EXPECT_EQ(read_text(dir / "a.txt"), "a\n");
  EXPECT_EQ(read_text(dir / "d/e/f.txt"), "f\n");
  EXPECT_EQ(read_text(dir / "other.txt"), "stays\n");
}

TEST_F(TreeWriter, ReportsMissingObjects) {
  const std::string missing(64, 'd');
  EXPECT_THROW(
      {
        try {
          write_tree_files(repo.objects, missing, dir.path());
        } catch (const std::runtime_error& e) {
          EXPECT_STREQ(e.what(), ("Invalid tree object: " + missing).c_str());
          throw;
        }
      },
      std::runtime_error);
  ObjectId tree =
      write_object(repo.objects, "tree", serialize_tree({{"100644", "blob", missing, "gone.txt"}}));
  try {
    write_tree_files(repo.objects, tree, dir.path());
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "Missing blob " + missing);
  }
  ObjectId holed =
      write_object(repo.objects, "tree", serialize_tree({{"40000", "tree", missing, "sub"}}));
  EXPECT_THROW(plan_tree_files(repo.objects, holed, dir.path()), std::runtime_error);
}

TEST_F(TreeWriter, PlanTellsEmptySubtreesFromMissingOnes) {
  const ObjectId empty = write_object(repo.objects, "tree", serialize_tree({}));
  const ObjectId file = write_object(repo.objects, "blob", "x");
  const std::string missing(64, 'e');
  ObjectId fine = write_object(
      repo.objects, "tree",
      serialize_tree({{"40000", "tree", empty, "d"}, {"100644", "blob", file, "d.txt"}}));
  EXPECT_EQ(plan_tree_files(repo.objects, fine, dir.path()).size(), 2u);
  ObjectId holed = write_object(
      repo.objects, "tree",
      serialize_tree({{"40000", "tree", missing, "d"}, {"100644", "blob", file, "d.txt"}}));
  EXPECT_THROW(plan_tree_files(repo.objects, holed, dir.path()), std::runtime_error);
  ObjectId blob_as_tree =
      write_object(repo.objects, "tree", serialize_tree({{"40000", "tree", file, "d"}}));
  EXPECT_THROW(plan_tree_files(repo.objects, blob_as_tree, dir.path()), std::runtime_error);
}

TEST_F(TreeWriter, PlanListsDirectoriesBeforeTheirFiles) {
  ObjectId tree = store_tree(repo, {{"b.txt", "b"}, {"d/c.txt", "c"}});
  TreeFiles plan = plan_tree_files(repo.objects, tree, dir.path());
  ASSERT_EQ(plan.size(), 3u);
  EXPECT_EQ(plan[0].path, "b.txt");
  EXPECT_EQ(plan[1].path, "d");
  EXPECT_TRUE(plan[1].is_directory);
  EXPECT_EQ(plan[2].path, "d/c.txt");
}

TEST_F(TreeWriter, KnownFilesAreSkippedOnlyWhileTheirStatHolds) {
  ObjectId tree = store_tree(repo, {{"a.txt", "new\n"}});
  write_text(dir / "a.txt", "old\n");  // what the index claims is "new\n"
  KnownFiles known;
  WorkingStat stat = stat_working_file(dir / "a.txt");
  known.index["a.txt"] = {blob_id("new\n"), stat.size, stat.mtime, stat.mode};
  known.index_mtime = stat.mtime + 1;
  TreeFiles plan = plan_tree_files(repo.objects, tree, dir.path());

  write_planned_files(repo.objects, dir.path(), plan, &known);
  EXPECT_EQ(read_text(dir / "a.txt"), "old\n");  // trusted: the stat matched

  known.index_mtime = stat.mtime;  // staged in the second the index was written
  write_planned_files(repo.objects, dir.path(), plan, &known);
  EXPECT_EQ(read_text(dir / "a.txt"), "new\n");
}

TEST_F(TreeWriter, UnreadableIndexMeansNothingIsKnown) {
  write_text(dir / ".orrery/index", "{ not json");
  EXPECT_TRUE(load_known_files(repo).index.empty());
}

}  // namespace
}  // namespace testing_support
