#include "support/repo_builder.h"

namespace testing_support {
namespace {

using RmMvTag = HistoryTest;

TEST_F(RmMvTag, RmDropsIndexEntriesAndFiles) {
  commit({{"a.txt", "1\n"}, {"d/b.txt", "b\n"}}, "first");
  ensure_directory(file("empty"));
  EXPECT_RUN(orrery({"rm", "a.txt", "never.txt", "empty"}), 0,
             "удалён a.txt\nудалён never.txt\nудалён empty\n", "");
  EXPECT_FALSE(path_exists(file("a.txt")));
  EXPECT_FALSE(path_exists(file("empty")));
  Repository repo(dir.path());
  EXPECT_EQ(load_index(repo).count("a.txt"), 0u);
  EXPECT_EQ(load_index(repo).count("d/b.txt"), 1u);

  std::string index = meta("index");
  for (const std::string path : {"../x", "/abs", ".orrery/index", ".ORRERY/HEAD"}) {
    EXPECT_RUN(run_orrery({"rm", "d/b.txt", path}, {dir.path(), "", {}}), 1, "",
               "orrery: ошибка: недопустимый путь: " + path + "\n");
  }
  EXPECT_EQ(meta("index"), index);
  EXPECT_TRUE(path_exists(file("d/b.txt")));
}

TEST_F(RmMvTag, MvCarriesTheIndexEntry) {
  commit({{"a.txt", "1\n"}}, "first");
  Repository repo(dir.path());
  IndexEntry before = load_index(repo)["a.txt"];
  EXPECT_RUN(orrery({"mv", "a.txt", "deep/new/b.txt"}), 0,
             "переименовано a.txt -> deep/new/b.txt\n", "");
  EXPECT_EQ(read_text(file("deep/new/b.txt")), "1\n");
  Index index = load_index(repo);
  EXPECT_EQ(index.count("a.txt"), 0u);
  EXPECT_EQ(index["deep/new/b.txt"].hash, before.hash);
  EXPECT_EQ(index["deep/new/b.txt"].size, 0u);

  std::string index_text = meta("index");
  write_text(file("loose.txt"), "x\n");
  EXPECT_RUN(orrery({"mv", "loose.txt", "moved.txt"}), 0, "переименовано loose.txt -> moved.txt\n",
             "");
  EXPECT_EQ(meta("index"), index_text);
  EXPECT_RUN(orrery({"mv", "missing", "b"}), 1, "", "orrery: ошибка: файл не найден: missing\n");
  EXPECT_RUN(orrery({"mv", "moved.txt", "../out.txt"}), 1, "",
             "orrery: ошибка: недопустимый путь: ../out.txt\n");
  EXPECT_TRUE(path_exists(file("moved.txt")));
}

TEST_F(RmMvTag, TagsAreCreatedListedAndDeleted) {
  EXPECT_RUN(orrery({"tag"}), 0, "", "");
  ObjectId c1 = commit({{"a.txt", "1\n"}}, "first");
  ObjectId c2 = commit({{"a.txt", "2\n"}}, "second");
  EXPECT_RUN(orrery({"tag", "release", "HEAD~1"}), 0, "", "");
  EXPECT_EQ(meta("refs/tags/release"), c1 + "\n");
  EXPECT_RUN(orrery({"tag", "group/v2"}), 0, "", "");
  EXPECT_EQ(meta("refs/tags/group/v2"), c2 + "\n");
  EXPECT_RUN(orrery({"tag"}), 0, "release\n", "");  // nested tags are not listed

  EXPECT_RUN(orrery({"tag", "../escape"}), 1, "",
             "orrery: ошибка: недопустимое имя тега: ../escape\n");
  EXPECT_RUN(orrery({"tag", "x", "HEAD~9"}), 1, "",
             "orrery: ошибка: не удалось разрешить ревизию: HEAD~9\n");
  EXPECT_RUN(orrery({"tag", "-d", "missing", "release"}), 1, "",
             "orrery: ошибка: тег не найден: missing\n");
  EXPECT_TRUE(has_meta("refs/tags/release"));
  EXPECT_RUN(orrery({"tag", "--delete", "release", "group/v2"}), 0,
             "удалён тег release\nудалён тег group/v2\n", "");
  EXPECT_EQ(list_files(dir / ".orrery/refs/tags"), std::vector<std::string>{});
  EXPECT_EQ(meta("logs/HEAD"),
            line(zero(), c1, "обновление: main") + line(c1, c2, "обновление: main"));
}

TEST_F(RmMvTag, TagDeleteWithoutNamesPrintsTheTopicAndFails) {
  RunResult no_names = orrery({"tag", "-d"});
  EXPECT_RUN(
      no_names, 1, orrery({"help", "tag"}).out,
      "orrery: ошибка: укажи хотя бы одно имя тега\n  подсказка: orrery tag -d|--delete <тег…>\n");
  EXPECT_EQ(list_files(dir / ".orrery/refs"), std::vector<std::string>{});
}

}  // namespace
}  // namespace testing_support
