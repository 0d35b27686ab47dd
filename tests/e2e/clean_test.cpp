#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace testing_support {
namespace {

// Nested ignored, tracked and untracked directories, a symlink and a
// nested repository's metadata.
class CleanCommand : public OrreryTest {
 protected:
  void SetUp() override {
    init_repo();
    for (const char* path : {".orreryignore", "src/main.c", "src/gen/keep.txt"}) {
      write_text(file(path), path == std::string(".orreryignore") ? "*.o\nbuild/\n" : "x\n");
      ASSERT_EQ(orrery({"add", path}).code, 0);
    }
    for (const char* path :
         {"notes.txt", "src/gen/new.c", "src/gen/a.o", "src/tmp/t1", "src/tmp/deep/t2",
          "build/out/bin", "other/.git/HEAD", "other/readme", "links/f"}) {
      write_text(file(path), "y\n");
    }
    ASSERT_EQ(mkdir(file("src/empty").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(file("src/empty/inner").c_str(), 0755), 0);
    ASSERT_EQ(symlink("../src", file("links/to-src").c_str()), 0);
  }

  std::vector<std::string> surviving() {
    std::vector<std::string> out;
    for (const std::string& path : list_files(dir.path())) {
      if (path.rfind(".orrery/", 0) != 0) out.push_back(path);
    }
    return out;
  }
};

// Each line of `lines` after the prefix.
std::string prefixed(const std::string& prefix, const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += prefix + line + "\n";
  return out;
}

TEST_F(CleanCommand, RemovesOnlyUntrackedFilesAndDirectoriesLeftEmpty) {
  const std::vector<std::string> files{"notes.txt",     "links/f",    "other/readme",
                                       "src/gen/new.c", "src/tmp/t1", "src/tmp/deep/t2"};
  const std::vector<std::string> dirs{"src/empty/inner/", "src/empty/", "src/tmp/deep/",
                                      "src/tmp/"};
  const std::vector<std::string> before = surviving();
  EXPECT_RUN(orrery({"clean", "-d", "-f", "--dry-run"}), 0,
             prefixed("Would remove ", files) + prefixed("Would remove ", dirs), "");
  EXPECT_EQ(surviving(), before);

  EXPECT_RUN(orrery({"clean", "-d", "-f"}), 0,
             prefixed("Removing ", files) + prefixed("Removing ", dirs), "");
  // links/ keeps its symlink, other/ its nested metadata, src/gen its ignored file.
  EXPECT_EQ(surviving(),
            (std::vector<std::string>{".orreryignore", "build/out/bin", "other/.git/HEAD",
                                      "src/gen/a.o", "src/gen/keep.txt", "src/main.c"}));
  EXPECT_TRUE(path_exists(file("links/to-src")));
}

TEST_F(CleanCommand, KeepsDirectoriesWithoutDashDAndPrintsNothingWhenQuiet) {
  EXPECT_RUN(orrery({"-q", "clean", "-f"}), 0, "", "");
  EXPECT_TRUE(path_exists(file("src/tmp/deep")));
  EXPECT_FALSE(path_exists(file("src/tmp/deep/t2")));
  EXPECT_RUN(orrery({"clean", "-n"}), 0, "", "");
}

}  // namespace
}  // namespace testing_support
