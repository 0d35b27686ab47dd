#include <gtest/gtest.h>

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

}  // namespace
}  // namespace testing_support
