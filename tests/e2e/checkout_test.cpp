#include <sys/stat.h>

#include "support/repo_builder.h"

namespace testing_support {
namespace {

using CheckoutFlow = HistoryTest;

ino_t ino_of(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_ino;
}

TEST_F(CheckoutFlow, BranchSwitchAndBackAlternateWithPreviousBranch) {
  ObjectId c1 = commit({{"a.txt", "one\n"}}, "first");
  EXPECT_RUN(orrery({"branch", "topic"}), 0, "Создана ветка topic\n", "");
  EXPECT_EQ(meta("refs/heads/topic"), c1 + "\n");

  EXPECT_RUN(orrery({"switch", "topic"}), 0, "Переключено на ветку «topic»\n", "");
  EXPECT_EQ(meta("HEAD"), "ref: refs/heads/topic\n");
  EXPECT_EQ(meta("previous-branch"), "main\n");
  ObjectId c2 = commit({{"a.txt", "one\n"}, {"b.txt", "topic\n"}}, "on topic");

  EXPECT_RUN(orrery({"checkout", "-"}), 0, "Переключено на ветку «main»\n", "");
  EXPECT_EQ(meta("HEAD"), "ref: refs/heads/main\n");
  EXPECT_EQ(meta("previous-branch"), "topic\n");
  EXPECT_EQ(read_text(file("b.txt")), "topic\n");  // writing a tree never deletes

  ObjectId c3 = commit({{"a.txt", "main two\n"}}, "second on main");
  EXPECT_RUN(orrery({"switch", "-"}), 0, "Переключено на ветку «topic»\n", "");
  EXPECT_EQ(read_text(file("a.txt")), "one\n");
  EXPECT_EQ(meta("previous-branch"), "main\n");
  EXPECT_RUN(orrery({"checkout", "-"}), 0, "Переключено на ветку «main»\n", "");
  EXPECT_EQ(read_text(file("a.txt")), "main two\n");

  EXPECT_EQ(meta("logs/HEAD"),
            line(zero(), c1, "обновление: main") + line(c1, c1, "переключение: refs/heads/topic") +
                line(c1, c2, "обновление: topic") + line(c2, c1, "переключение: refs/heads/main") +
                line(c1, c3, "обновление: main") + line(c3, c2, "переключение: refs/heads/topic") +
                line(c2, c3, "переключение: refs/heads/main"));
}

TEST_F(CheckoutFlow, CurrentBranchRewritesTrackedFilesAndKeepsPreviousBranch) {
  commit({{"a.txt", "one\n"}}, "first");
  write_text(file("a.txt"), "local edit\n");
  EXPECT_RUN(orrery({"checkout", "main"}), 0, "Переключено на ветку «main»\n", "");
  EXPECT_EQ(read_text(file("a.txt")), "one\n");
  EXPECT_FALSE(has_meta("previous-branch"));
}

// After a hard reset every index entry is as new as the index itself, so
// its stat proves nothing: checkout reads such files instead of rewriting
// them, still overwrites one edited without a change of size, and leaves
// the index naming the same blobs.
TEST_F(CheckoutFlow, AfterResetOnlyFilesThatDifferAreWritten) {
  commit({{"same.txt", "same\n"}, {"edited.txt", "x\n"}, {"moved.txt", "main\n"}}, "first");
  EXPECT_RUN(orrery({"branch", "topic"}), 0, "Создана ветка topic\n", "");
  EXPECT_RUN(orrery({"switch", "topic"}), 0, "Переключено на ветку «topic»\n", "");
  commit({{"same.txt", "same\n"}, {"edited.txt", "x\n"}, {"moved.txt", "topic\n"}}, "topic");
  EXPECT_RUN(orrery({"reset", "--hard"}), 0, "reset --hard\n", "");
  const std::string index = meta("index");
  write_text(file("edited.txt"), "y\n");
  const ino_t same_inode = ino_of(file("same.txt"));
  EXPECT_RUN(orrery({"checkout", "main"}), 0, "Переключено на ветку «main»\n", "");
  EXPECT_EQ(read_text(file("edited.txt")), "x\n");
  EXPECT_EQ(read_text(file("moved.txt")), "main\n");
  EXPECT_EQ(ino_of(file("same.txt")), same_inode);
  const auto blobs = [](const Index& entries) {
    std::map<std::string, std::string> out;
    for (const auto& [path, entry] : entries) out[path] = entry.hash;
    return out;
  };
  EXPECT_EQ(blobs(parse_index(meta("index"))), blobs(parse_index(index)));
}

TEST_F(CheckoutFlow, RevisionDetachesHeadWithoutTouchingPreviousBranch) {
  ObjectId c1 = commit({{"a.txt", "one\n"}}, "first");
  ObjectId c2 = commit({{"a.txt", "two\n"}}, "second");
  EXPECT_RUN(orrery({"checkout", c1}), 0, "Отсоединённый HEAD на " + c1.substr(0, 12) + "…\n", "");
  EXPECT_EQ(meta("HEAD"), c1 + "\n");
  EXPECT_EQ(read_text(file("a.txt")), "one\n");
  EXPECT_FALSE(has_meta("previous-branch"));

  EXPECT_RUN(orrery({"checkout", "main"}), 0, "Переключено на ветку «main»\n", "");
  EXPECT_RUN(orrery({"checkout", "HEAD~1"}), 0, "Отсоединённый HEAD на " + c1.substr(0, 12) + "…\n",
             "");
  EXPECT_EQ(meta("logs/HEAD"), line(zero(), c1, "обновление: main") +
                                   line(c1, c2, "обновление: main") + line(c2, c1, "HEAD: detach") +
                                   line(c1, c2, "переключение: refs/heads/main") +
                                   line(c2, c1, "HEAD: detach"));
  EXPECT_RUN(orrery({"checkout", "-"}), 1, "",
             "orrery: ошибка: checkout -: нет сохранённой предыдущей ветки\n"
             "  подсказка: сначала переключись между двумя локальными ветками (orrery switch … / "
             "orrery checkout …)\n");
}

TEST_F(CheckoutFlow, CreateFromRemoteTrackingRecordsUpstream) {
  ObjectId c1 = commit({{"a.txt", "one\n"}}, "first");
  ObjectId c2 = commit({{"a.txt", "two\n"}}, "second");
  write_text(file(".orrery/refs/remotes/origin/main"), c1 + "\n");

  EXPECT_RUN(orrery({"checkout", "-b", "topic", "origin/main"}), 0,
             "Переключено на новую ветку «topic» (точка старта: origin/main)\n", "");
  EXPECT_EQ(meta("refs/heads/topic"), c1 + "\n");
  EXPECT_EQ(meta("HEAD"), "ref: refs/heads/topic\n");
  EXPECT_EQ(meta("previous-branch"), "main\n");
  EXPECT_EQ(read_text(file("a.txt")), "one\n");
  EXPECT_EQ(meta("config"),
            "[branch \"topic\"]\nupstream.remote = origin\nupstream.branch = main\n\n");

  EXPECT_RUN(orrery({"switch", "-c", "local", "main"}), 0,
             "Переключено на новую ветку «local» (точка старта: main)\n", "");
  EXPECT_EQ(meta("refs/heads/local"), c2 + "\n");
  EXPECT_EQ(meta("previous-branch"), "topic\n");
  EXPECT_EQ(meta("config"),
            "[branch \"topic\"]\nupstream.remote = origin\nupstream.branch = main\n\n");
  EXPECT_RUN(orrery({"switch", "--create=third"}), 0, "Переключено на новую ветку «third»\n", "");
  EXPECT_EQ(meta("refs/heads/third"), c2 + "\n");
}

struct Refusal {
  std::vector<std::string> args;
  std::string err;
};

TEST_F(CheckoutFlow, RefusalsChangeNothing) {
  ObjectId c1 = commit({{"a.txt", "one\n"}}, "first");
  const std::vector<Refusal> cases = {
      {{"checkout", "nope"},
       "orrery: ошибка: не найдена ветка или коммит: nope\n  подсказка: локальное имя ветки, "
       "полный "
       "SHA-256 коммита, HEAD~N и т.п.; создание после fetch: orrery checkout -b <имя> "
       "origin/<ветка>\n"},
      {{"checkout", "-b", "main"}, "orrery: ошибка: ветка уже существует: main\n"},
      {{"checkout", "-b", "x", "main", "extra"},
       "orrery: ошибка: слишком много аргументов\n  подсказка: используй: orrery checkout -b "
       "<новая> [старт-точка]\n"},
      {{"checkout", "-b", "x", c1},
       "orrery: ошибка: не найден коммит/ветка: " + c1 +
           "\n  подсказка: проверь имя локальной ветки или remote-tracking (например origin/main), "
           "сделай fetch\n"},
      {{"switch", c1},
       "orrery: ошибка: нет локальной ветки: " + c1 +
           "\n  подсказка: для ревизии: 'orrery checkout <ревизия>'; новая ветка: 'orrery switch "
           "-c "
           "<имя> [старт]'\n"},
  };
  for (const Refusal& refusal : cases) {
    SCOPED_TRACE(refusal.args[0] + " " + refusal.args[1]);
    RunResult result = run_orrery(refusal.args, {dir.path(), "", {}});
    EXPECT_RUN(result, 1, "", refusal.err);
  }
  EXPECT_EQ(list_files(dir / ".orrery/refs"), std::vector<std::string>{"heads/main"});
  EXPECT_EQ(meta("HEAD"), "ref: refs/heads/main\n");
  EXPECT_FALSE(has_meta("previous-branch"));
}

TEST_F(CheckoutFlow, PreviousBranchThatWasDeletedIsReported) {
  commit({{"a.txt", "one\n"}}, "first");
  orrery({"branch", "topic"});
  orrery({"switch", "topic"});
  EXPECT_RUN(orrery({"branch", "-d", "main"}), 0, "Deleted branch main\n", "");
  EXPECT_RUN(orrery({"checkout", "-"}), 1, "",
             "orrery: ошибка: checkout -: ветка больше не существует: main\n"
             "  подсказка: проверь refs/heads после удаления ветки; переключись явно по имени\n");
}

}  // namespace
}  // namespace testing_support
