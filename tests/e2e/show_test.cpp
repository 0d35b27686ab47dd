#include "support/repo_builder.h"
#include "support/test_support.h"

namespace testing_support {
namespace {

class ShowCommand : public OrreryTest {
 protected:
  RunResult show(const std::vector<std::string>& args) {
    return orrery(command_line("show", args));
  }

  // A root commit, a second commit on main and a merge of a side branch
  // that changed other paths.
  void make_history() {
    init_repo();
    root = commit_files(dir.path(), {{"a.txt", "one\ntwo\n"}, {"bin", std::string("\0", 1)}}, {},
                        "начало", 1700000000);
    second = commit_files(dir.path(), {{"a.txt", "one\n2\n"}, {"dir/new.txt", "n\n"}}, {root},
                          "вторая\nправка", 1700000100);
    side = commit_files(dir.path(), {{"a.txt", "one\ntwo\n"}, {"side.txt", "s\n"}}, {root}, "сбоку",
                        1700000150, "side");
    merge = commit_files(dir.path(),
                         {{"a.txt", "one\n2\n"}, {"dir/new.txt", "n\n"}, {"side.txt", "s\n"}},
                         {second, side}, "слияние", 1700000200);
  }

  std::string tree_of(const std::string& commit) {
    const std::optional<Commit> read = read_commit(Repository(dir.path()).objects, commit);
    EXPECT_TRUE(read.has_value());
    return read ? read->tree : "";
  }

  ObjectId root, second, side, merge;
};

TEST_F(ShowCommand, ARootCommitListsEveryFileAsAdded) {
  make_history();
  EXPECT_RUN(show({root}), 0,
             "коммит " + root + "\nАвтор: tester\nВремя: 1700000000\nДерево: " + tree_of(root) +
                 "\n\nначало\n\n"
                 "diff -- a/a.txt b/a.txt\n--- a/a.txt\n+++ b/a.txt\n"
                 "@@ -1,0 +1,2 @@\n+one\n+two\n\n"
                 "diff -- a/bin b/bin\nБинарные файлы различаются\n\n",
             "");
}

TEST_F(ShowCommand, ACommitIsComparedWithItsParentRemovedPathsLast) {
  make_history();
  const std::string header = "коммит " + second + "\nАвтор: tester\nВремя: 1700000100\n" +
                             "Родители: " + root + "\nДерево: " + tree_of(second) +
                             "\n\nвторая\nправка\n\n";
  EXPECT_RUN(show({"HEAD~1"}), 0,
             header +
                 "diff -- a/a.txt b/a.txt\n--- a/a.txt\n+++ b/a.txt\n"
                 "@@ -1,2 +1,2 @@\n one\n-two\n+2\n\n"
                 "diff -- a/dir/new.txt b/dir/new.txt\n--- a/dir/new.txt\n+++ b/dir/new.txt\n"
                 "@@ -1,0 +1,1 @@\n+n\n\n"
                 "diff -- a/bin b/bin\nБинарные файлы различаются\n\n",
             "");
  EXPECT_RUN(show({"--stat", second}), 0,
             header +
                 " a.txt | 2 +-\n dir/new.txt | 1 +\n bin | Bin\n"
                 " 3 files changed, 2 insertions(+), 1 deletion(-); 1 binary file\n",
             "");
  EXPECT_RUN(show({second, "--shortstat"}), 0,
             header + " 3 files changed, 2 insertions(+), 1 deletion(-); 1 binary file\n", "");
}

TEST_F(ShowCommand, AMergeIsComparedWithItsFirstParentOnly) {
  make_history();
  EXPECT_RUN(show({"--stat", "main"}), 0,
             "коммит " + merge + "\nАвтор: tester\nВремя: 1700000200\nРодители: " + second + ", " +
                 side + "\nДерево: " + tree_of(merge) +
                 "\n\nслияние\n\n"
                 " side.txt | 1 +\n 1 file changed, 1 insertion(+), 0 deletions(-)\n",
             "");
}

TEST_F(ShowCommand, ACommitWithTheTreeOfItsParentHasNoChanges) {
  make_history();
  const ObjectId same = commit_files(dir.path(), {{"a.txt", "one\ntwo\n"}, {"side.txt", "s\n"}},
                                     {side}, "пусто", 1700000300, "side");
  for (const char* format : {"", "--shortstat"}) {
    SCOPED_TRACE(format);
    const RunResult r = show({format, "side"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(r.out.ends_with("\n\nпусто\n\nНет отличий дерева коммита от первого родителя.\n"))
        << r.out;
  }
}

TEST_F(ShowCommand, TakesTheShortIdThatLogPrints) {
  make_history();
  const RunResult log = orrery({"log", "--oneline", "-n", "1"});
  ASSERT_EQ(log.code, 0);
  const std::string short_id = log.out.substr(0, log.out.find(' '));
  EXPECT_EQ(short_id, merge.substr(0, 12));
  EXPECT_TRUE(show({"--shortstat", short_id}).out.starts_with("коммит " + merge + "\n"));
  for (const char* twin : {"a", "b"}) {
    write_text(dir / (".orrery/objects/12/34567" + std::string(twin) + std::string(56, '0')), "x");
  }
  EXPECT_RUN(show({"1234567"}), 1, "",
             "orrery: ошибка: короткий идентификатор 1234567 неоднозначен\n"
             "  подсказка: укажи больше символов идентификатора\n");
}

TEST_F(ShowCommand, ReportsRevisionsThatNameNoCommit) {
  make_history();
  const std::string blob = blob_id("one\ntwo\n");
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"nowhere"},
       "orrery: ошибка: не удалось разобрать ревизию: nowhere\n"
       "  подсказка: проверь имя ветки, тега или HASH\n"},
      {{blob}, "orrery: ошибка: объект не является коммитом\n  подсказка: " + blob + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "" : c.args.front());
    EXPECT_RUN(show(c.args), 1, "", c.err);
  }
}

}  // namespace
}  // namespace testing_support
