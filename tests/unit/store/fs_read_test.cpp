#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "store/errors.h"
#include "store/fs.h"
#include "support/test_support.h"

namespace testing_support {
namespace {

TEST(ReadFileInto, ReadsFilesOfEverySizeExactly) {
  TempDir dir;
  std::string buffer = "left over from an earlier read";
  for (size_t size : {0u, 1u, 200u, 4095u, 4096u, 4097u, 100000u}) {
    std::string content(size, 'x');
    for (size_t i = 0; i < size; ++i) content[i] = static_cast<char>('a' + i % 26);
    write_text(dir / "f", content);
    ASSERT_TRUE(read_file_into(dir / "f", buffer));
    EXPECT_EQ(buffer, content) << size;
  }
  EXPECT_FALSE(read_file_into(dir / "missing", buffer));
  EXPECT_FALSE(read_file_into(dir.path(), buffer));  // a directory
}

TEST(ReadFileInto, ReadsSpecialFilesWithoutAKnownSize) {
  TempDir dir;
  std::string buffer;
  ASSERT_TRUE(read_file_into("/proc/self/status", buffer));
  EXPECT_NE(buffer.find("Name:"), std::string::npos);
}

// Whatever was planted where a store file belongs, reading neither follows
// it nor waits on it.
TEST(ReadStoreFile, ReadsOnlyRegularFiles) {
  TempDir dir;
  std::string buffer;
  write_text(dir / "file", "x");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
  ASSERT_EQ(::symlink((dir / "file").c_str(), (dir / "link").c_str()), 0);
  ensure_directory(dir / "dir");
  EXPECT_TRUE(read_store_file(dir / "file", buffer));
  EXPECT_FALSE(read_store_file(dir / "missing", buffer));
  EXPECT_FALSE(read_store_file(dir / "dir", buffer));
  for (const char* name : {"fifo", "link"}) {
    try {
      read_store_file(dir / name, buffer);
      ADD_FAILURE() << name;
    } catch (const RepositoryDamaged& e) {
      EXPECT_EQ(std::string(e.what()), "Not a regular file: " + dir / name);
    }
  }
  EXPECT_THROW(read_file_into(dir / "fifo", buffer), std::runtime_error);
}

}  // namespace
}  // namespace testing_support
