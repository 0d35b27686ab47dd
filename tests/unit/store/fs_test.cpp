#include "store/fs.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

// A FIFO or device where a file is written is written as it is: replacing
// it with a regular file would break whatever it serves.
TEST(WriteFileAtomic, WritesIntoAFifoOrDeviceInPlace) {
  TempDir dir;
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_THROW(write_file_atomic(fifo, "nobody reads"), std::runtime_error);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  write_file_atomic(fifo, "through the pipe");
  char buffer[64] = {};
  EXPECT_EQ(::read(reader, buffer, sizeof buffer), 16);
  EXPECT_EQ(std::string(buffer), "through the pipe");
  ::close(reader);
  struct stat st;
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  const std::string null_device = dir / "null";
  if (::mknod(null_device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
    GTEST_SKIP() << "cannot make a device node here (needs privileges)";
  }
  write_file_atomic(null_device, "gone");
  ASSERT_EQ(::lstat(null_device.c_str(), &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  EXPECT_EQ(list_files(dir.path()), std::vector<std::string>{});
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
