#include "support/test_support.h"

namespace testing_support {
namespace {

using InitCommand = OrreryTest;

TEST_F(InitCommand, CreatesTheLayoutInTheCurrentDirectory) {
  EXPECT_RUN(orrery({"init"}), 0, "Инициализирован пустой репозиторий orrery в ./.orrery\n", "");
  EXPECT_EQ(read_text(file(".orrery/HEAD")), "ref: refs/heads/main\n");
  EXPECT_EQ(read_text(file(".orrery/version")), "1\n");
  // Only these two files: no index, config, reflog or branch yet.
  EXPECT_EQ(list_files(file(".orrery")), (std::vector<std::string>{"HEAD", "version"}));
  for (const char* sub : {"objects", "refs/heads", "refs/tags", "refs/remotes/origin", "logs"}) {
    EXPECT_TRUE(path_exists(file(".orrery/") + sub)) << sub;
  }
  EXPECT_FALSE(path_exists(file(".orrery/lock")));
}

TEST_F(InitCommand, CreatesMissingDirectoriesAndPrintsThePathAsGiven) {
  EXPECT_RUN(orrery({"init", "sub/dir", "ignored"}), 0,
             "Инициализирован пустой репозиторий orrery в sub/dir/.orrery\n", "");
  EXPECT_TRUE(path_exists(file("sub/dir/.orrery/HEAD")));
}

TEST_F(InitCommand, RefusesAnExistingRepositoryAndChangesNothing) {
  init_repo();
  write_text(file(".orrery/HEAD"), "ref: refs/heads/other\n");
  EXPECT_RUN(orrery({"init"}), 1, "",
             "orrery: ошибка: репозиторий уже существует: .\n"
             "  подсказка: выбери другой каталог или удали существующий .orrery/\n");
  EXPECT_EQ(read_text(file(".orrery/HEAD")), "ref: refs/heads/other\n");
}

TEST_F(InitCommand, CompletesAMetadataDirectoryWithoutHead) {
  write_text(file(".orrery/objects/keep"), "x");
  EXPECT_RUN(orrery({"init"}), 0, "Инициализирован пустой репозиторий orrery в ./.orrery\n", "");
  EXPECT_EQ(read_text(file(".orrery/objects/keep")), "x");
  EXPECT_TRUE(path_exists(file(".orrery/refs/heads")));
}

// A lock whose owner cannot be judged gone makes writers give up after
// about six seconds, naming it; removing it by hand lets the next write
// succeed. (A lock left by a dead process of this host is broken at once.)
TEST_F(InitCommand, GivesUpOnALockLeftInPlace) {
  ASSERT_EQ(run_program("mkdir", {"-p", file(".orrery/lock")}).code, 0);
  EXPECT_RUN(
      orrery({"init"}), 1, "",
      "orrery: ошибка: Repository is locked (another orrery process may be running): "
      "./.orrery/lock\n"
      "  подсказка: если ни один процесс orrery не работает, удали каталог ./.orrery/lock\n");
  EXPECT_FALSE(path_exists(file(".orrery/HEAD")));
  ASSERT_EQ(run_program("rmdir", {file(".orrery/lock")}).code, 0);
  EXPECT_EQ(orrery({"init"}).code, 0);
  EXPECT_FALSE(path_exists(file(".orrery/lock")));
}

}  // namespace
}  // namespace testing_support
