#include "worktree/scan.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "store/repo.h"
#include "support/test_support.h"
#include "worktree/tree_builder.h"
#include "worktree/working_stat.h"

namespace {

using testing_support::TempDir;
using Strings = std::vector<std::string>;
using Pairs = std::vector<std::pair<std::string, std::string>>;

struct ScanTest : ::testing::Test {
  TempDir dir;
  Repository repo{dir.path()};
  Index index;
  IgnoreRules rules;
  std::optional<ObjectId> head;

  void write(const std::string& path, const std::string& content) {
    testing_support::write_text(dir / path, content);
  }
  void stage(const std::string& path) {
    WorkingStat stat = stat_working_file(dir / path);
    index[path] = {write_object(repo.objects, "blob", testing_support::read_text(dir / path)),
                   stat.size, stat.mtime, stat.mode};
  }
  void add(const std::string& path, const std::string& content) {
    write(path, content);
    stage(path);
  }
  void commit() {
    PathMap paths;
    for (const auto& [path, entry] : index) paths[path] = entry.hash;
    Commit commit{build_tree(repo.objects, paths, ""), {}, "t", "m", 1};
    head = write_object(repo.objects, "commit", serialize_commit(commit));
  }
  void set_mtime(const std::string& path, time_t seconds) {
    timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (dir / path).c_str(), times, 0), 0);
  }
  WorktreeStatus scan() {
    return compute_worktree_status(dir.path(), repo.objects, rules, index, head);
  }
};

TEST_F(ScanTest, WithoutACommitEveryIndexedPathIsNew) {
  add("b.txt", "b");
  add("a/c.txt", "c");
  EXPECT_EQ(scan().staged_new, (Strings{"a/c.txt", "b.txt"}));
}

TEST_F(ScanTest, ComparesNestedDirectoriesWhetherOrNotTheirTreesMatch) {
  add("same/a.txt", "a");
  add("same/deep/b.txt", "b");
  add("mod/x.txt", "x");
  add("mod/keep/y.txt", "y");
  add("gone/z.txt", "z");
  add("a-b/w.txt", "w");
  commit();
  add("mod/keep/y.txt", "y2");
  add("new/n.txt", "n");
  add("mod/added.txt", "added");
  index.erase("gone/z.txt");
  WorktreeStatus status = scan();
  EXPECT_EQ(status.staged_new, (Strings{"mod/added.txt", "new/n.txt"}));
  EXPECT_EQ(status.staged_modified, (Strings{"mod/keep/y.txt"}));
  EXPECT_EQ(status.staged_deleted, (Strings{"gone/z.txt"}));
}

TEST_F(ScanTest, PairsAStagedRenameWithTheLaterOfTwoEqualDeletions) {
  add("one.txt", "same");
  add("two.txt", "same");
  commit();
  index.erase("one.txt");
  index.erase("two.txt");
  add("three.txt", "same");
  WorktreeStatus status = scan();
  EXPECT_EQ(status.staged_renamed, (Pairs{{"two.txt", "three.txt"}}));
  EXPECT_EQ(status.staged_deleted, (Strings{"one.txt"}));
  EXPECT_TRUE(status.staged_new.empty());
}

TEST_F(ScanTest, TrustsAnEqualStatWithoutReadingTheFile) {
  add("a.txt", "aaaa");
  set_mtime("a.txt", 1000000);
  stage("a.txt");
  commit();
  write("a.txt", "bbbb");  // same size
  set_mtime("a.txt", 1000000);
  EXPECT_FALSE(is_dirty(scan()));
}

TEST_F(ScanTest, RehashesATouchedFileAndReportsOnlyRealChanges) {
  add("same.txt", "same");
  add("changed.txt", "1234");
  commit();
  set_mtime("same.txt", 2000000);
  write("changed.txt", "5678");
  set_mtime("changed.txt", 2000000);
  WorktreeStatus status = scan();
  EXPECT_EQ(status.unstaged_modified, (Strings{"changed.txt"}));
}

TEST_F(ScanTest, ReportsAModeChangeOnlyWhenTheContentDiffers) {
  add("run.sh", "echo");
  commit();
  ASSERT_EQ(chmod((dir / "run.sh").c_str(), 0755), 0);
  EXPECT_FALSE(is_dirty(scan()));
}

TEST_F(ScanTest, NeverDescendsIntoIgnoredDirectoriesButComparesIgnoredIndexedFiles) {
  rules = parse_ignore_rules("build/\n*.log\n!keep.log\n");
  add("tracked.log", "t");
  commit();
  write("tracked.log", "changed");
  write("build/keep.log", "k");
  write("keep.log", "k");
  write("x.log", "x");
  write(".git/config", "c");
  ASSERT_EQ(mkdir((dir / "empty").c_str(), 0755), 0);
  WorktreeStatus status = scan();
  EXPECT_EQ(status.unstaged_modified, (Strings{"tracked.log"}));
  EXPECT_EQ(status.untracked, (Strings{"keep.log"}));
}

TEST_F(ScanTest, PassesOverEverySymbolicLink) {
  write("real/f.txt", "f");
  ASSERT_EQ(symlink("real", (dir / "linkdir").c_str()), 0);
  ASSERT_EQ(symlink("real/f.txt", (dir / "link.txt").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (dir / "dangling").c_str()), 0);
  EXPECT_EQ(scan().untracked, (Strings{"real/f.txt"}));
}

TEST_F(ScanTest, AnUnreadableChangedFileFailsTheScan) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  add("a.txt", "a");
  write("a.txt", "changed");
  ASSERT_EQ(chmod((dir / "a.txt").c_str(), 0), 0);
  EXPECT_THROW(scan(), std::runtime_error);
}

TEST_F(ScanTest, ADirectoryWhereAFileWasFailsTheScan) {
  add("a", "a");
  std::remove((dir / "a").c_str());
  write("a/inner.txt", "x");
  EXPECT_THROW(scan(), std::runtime_error);
}

}  // namespace
