#include "store/fs.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include "store/repo.h"
#include "support/test_support.h"

using testing_support::list_files;
using testing_support::read_text;
using testing_support::TempDir;
using testing_support::write_text;

namespace {

TEST(IsSafeRelpath, AcceptsRelativePathsWithoutParentSteps) {
  struct Case {
    const char* path;
    bool safe;
  } cases[] = {
      {"", false},     {"a/../b", false}, {"a\\..\\b", false}, {"..", false},
      {"/abs", false}, {"C:x", false},    {"a/b", true},       {"a..b", true},
      {"...", true},   {"a/b/", true},    {"1:x", true},
  };
  for (const Case& c : cases) EXPECT_EQ(is_safe_relpath(c.path), c.safe) << c.path;
}

TEST(PathParts, SplitAtTheLastSlash) {
  EXPECT_EQ(path_basename("a/b/c"), "c");
  EXPECT_EQ(path_dirname("a/b/c"), "a/b");
  EXPECT_EQ(path_basename("c"), "c");
  EXPECT_EQ(path_dirname("c"), "");
  EXPECT_EQ(path_dirname("/c"), "/");
}

TEST(WriteFileAtomic, CreatesParentsAndLeavesNoTemporaryFile) {
  TempDir dir;
  write_file_atomic(dir / "a/b/c.txt", "first");
  write_file_atomic(dir / "a/b/c.txt", std::string("second\0", 7));
  EXPECT_EQ(read_file(dir / "a/b/c.txt"), std::string("second\0", 7));
  EXPECT_EQ(list_files(dir.path()), std::vector<std::string>{"a/b/c.txt"});
}

TEST(WriteFileAtomic, ReportsARenameOntoADirectoryAndCleansUp) {
  TempDir dir;
  ensure_directory(dir / "target/inner");
  EXPECT_THROW(write_file_atomic(dir / "target", "x"), std::runtime_error);
  EXPECT_EQ(list_files(dir.path()), std::vector<std::string>{});
}

// A full disk must never turn into a short file renamed over the target.
// Needs a small tmpfs, which only a privileged test may mount.
TEST(WriteFileAtomic, OnAFullFilesystemKeepsTheOldContentAndRemovesTheTemporaryFile) {
  TempDir dir;
  std::string mount_point = dir / "small";
  ensure_directory(mount_point);
  if (::mount("tmpfs", mount_point.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs privileges)";
  }
  std::string target = mount_point + "/target";
  write_file_atomic(target, "old content");
  std::string big(1 << 20, 'x');
  try {
    write_file_atomic(target, big);
    ADD_FAILURE() << "writing 1 MiB into 64 KiB succeeded";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Failed to atomically write file: " + target + " -> ", 0),
              0u)
        << e.what();
  }
  EXPECT_EQ(read_file(target), "old content");
  EXPECT_EQ(list_files(mount_point), std::vector<std::string>{"target"});
  ::umount(mount_point.c_str());
}

TEST(ReadFile, ReportsAMissingFile) {
  TempDir dir;
  try {
    read_file(dir / "nope");
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file for reading: " + dir / "nope");
  }
}

TEST(EnsureDirectory, AcceptsAnExistingPathOfAnyType) {
  TempDir dir;
  ensure_directory(dir / "x/y/z");
  EXPECT_TRUE(is_directory(dir / "x/y/z"));
  write_text(dir / "f", "");
  EXPECT_NO_THROW(ensure_directory(dir / "f"));
  EXPECT_THROW(ensure_directory(dir / "f/sub"), std::runtime_error);
}

TEST(FindRepoRoot, FindsTheNearestAncestorWithOrrery) {
  TempDir dir;
  ensure_directory(dir / "outer/.orrery");
  ensure_directory(dir / "outer/inner/.orrery");
  ensure_directory(dir / "outer/inner/deep/er");
  ensure_directory(dir / "plain/sub");
  EXPECT_EQ(find_repo_root(dir / "outer/inner/deep/er"), dir / "outer/inner");
  EXPECT_EQ(find_repo_root(dir / "outer/inner/deep/er/"), dir / "outer/inner");
  EXPECT_EQ(find_repo_root(dir / "outer"), dir / "outer");
  // Without any .orrery up to the root, the start itself is the answer.
  if (!path_exists("/.orrery")) {
    EXPECT_EQ(find_repo_root(dir / "plain/sub"), dir / "plain/sub");
  }
}

}  // namespace
