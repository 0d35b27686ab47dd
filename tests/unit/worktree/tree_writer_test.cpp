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

// What a commit's tree needs must all be there before the first write.
TEST_F(TreeWriter, ReportsMissingObjectsAndTellsEmptySubtreesFromMissingOnes) {
  const std::string missing(64, 'd');
  const ObjectId file = write_object(repo.objects, "blob", "x");
  const ObjectId empty = store_raw_tree(repo.objects, {});
  auto message = [&](const ObjectId& tree) -> std::string {
    try {
      write_tree_files(repo.objects, tree, dir.path());
    } catch (const std::runtime_error& e) {
      return e.what();
    }
    return "written";
  };
  EXPECT_EQ(message(missing), "Invalid tree object: " + missing);
  EXPECT_EQ(message(store_raw_tree(repo.objects, {{"100644", "blob", missing, "gone.txt"}})),
            "Missing blob " + missing);
  for (const ObjectId& bad : {missing, file}) {
    const ObjectId holed = store_raw_tree(
        repo.objects, {{"40000", "tree", bad, "d"}, {"100644", "blob", file, "d.txt"}});
    EXPECT_THROW(plan_tree_files(repo.objects, holed, dir.path()), std::runtime_error);
  }
  const ObjectId fine = store_raw_tree(
      repo.objects, {{"40000", "tree", empty, "d"}, {"100644", "blob", file, "d.txt"}});
  EXPECT_EQ(plan_tree_files(repo.objects, fine, dir.path()).size(), 2u);
}

TEST_F(TreeWriter, PlanListsDirectoriesBeforeTheirFiles) {
  ObjectId tree = store_tree(repo.objects, {{"b.txt", "b"}, {"d/c.txt", "c"}});
  TreeFiles plan = plan_tree_files(repo.objects, tree, dir.path());
  ASSERT_EQ(plan.size(), 3u);
  EXPECT_EQ(plan[0].path, "b.txt");
  EXPECT_EQ(plan[1].path, "d");
  EXPECT_TRUE(plan[1].is_directory);
  EXPECT_EQ(plan[2].path, "d/c.txt");
}

TEST_F(TreeWriter, KnownFilesAreSkippedOnlyWhileTheirStatHolds) {
  ObjectId tree = store_tree(repo.objects, {{"a.txt", "new\n"}});
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
