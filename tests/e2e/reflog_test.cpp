#include <string>
#include <vector>

#include "store/refs.h"
#include "store/repo.h"
#include "support/repo_builder.h"
#include "support/test_support.h"

namespace testing_support {
namespace {

class ReflogCommand : public OrreryTest {
 protected:
  void SetUp() override { init_repo(); }

  ObjectId commit(const std::string& message, const std::vector<ObjectId>& parents = {}) {
    Repository repo(dir.path());
    return store_commit(repo, store_tree(repo, {{"f", message}}), parents, message);
  }
};

std::string short_id(const std::string& id) { return id.substr(0, 12); }

TEST_F(ReflogCommand, ListsEveryKindOfMovementNewestFirst) {
  Repository repo(dir.path());
  const ObjectId c1 = commit("one");
  const ObjectId c2 = commit("two", {c1});
  const ObjectId c3 = commit("three", {c2});
  update_ref(repo, "refs/heads/main", c1);
  update_ref(repo, "refs/heads/main", c2);
  update_ref(repo, "refs/heads/topic", c1);  // not HEAD's branch: no line
  set_head_symbolic(repo, "refs/heads/topic");
  detach_head(repo, c3);
  move_head(repo, c2);
  const std::string log_before = read_text(file(".orrery/logs/HEAD"));

  const std::string expected =
      short_id(c3) + " → " + short_id(c2) + "\tHEAD: обновление (detached)\n" + short_id(c1) +
      " → " + short_id(c3) + "\tHEAD: detach\n" + short_id(c2) + " → " + short_id(c1) +
      "\tпереключение: refs/heads/topic\n" + short_id(c1) + " → " + short_id(c2) +
      "\tобновление: main\n" + "000000000000 → " + short_id(c1) + "\tобновление: main\n";
  EXPECT_RUN(orrery({"reflog"}), 0, expected, "");
  EXPECT_EQ(read_text(file(".orrery/logs/HEAD")), log_before);

  const std::string newest_two =
      expected.substr(0, expected.find('\n', expected.find('\n') + 1) + 1);
  EXPECT_RUN(orrery({"reflog", "-n", "2"}), 0, newest_two, "");
  EXPECT_RUN(orrery({"reflog", "--max-count=2"}), 0, newest_two, "");
  EXPECT_RUN(orrery({"reflog", "-n", "1000000"}), 0, expected, "");
}

TEST_F(ReflogCommand, PrintsLinesOfAnotherShapeUnchanged) {
  write_text(file(".orrery/logs/HEAD"),
             "no tab here\n"
             "\tstarts with a tab\n"
             "nospace\tmessage\n"
             "short ids\tkept whole\r\n"
             "0123456789abcdef fedcba9876543210 extra\tlast, no line feed");
  EXPECT_RUN(orrery({"reflog"}), 0,
             "0123456789ab → fedcba987654\tlast, no line feed\n"
             "short → ids\tkept whole\n"
             "nospace\tmessage\n"
             "\tstarts with a tab\n"
             "no tab here\n",
             "");
}

TEST_F(ReflogCommand, ReportsAMissingOrEmptyLog) {
  EXPECT_RUN(orrery({"reflog"}), 0, "reflog пуст (.orrery/logs/HEAD ещё нет)\n", "");
  write_text(file(".orrery/logs/HEAD"), "");
  EXPECT_RUN(orrery({"reflog"}), 0, "reflog пуст\n", "");
}

TEST_F(ReflogCommand, RejectsBadArguments) {
  const std::string e = "orrery: ошибка: ";
  const std::string flags_hint = "  подсказка: orrery reflog [-n N|--max-count=N]\n";
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"-n"}, e + "ожидается число после -n\n  подсказка: например: orrery reflog -n 10\n"},
      {{"-n", "0"}, e + "неверное число после -n: 0\n"},
      {{"--max-count="}, e + "неверное --max-count=…\n"},
      {{"-n5"}, e + "неизвестный флаг: -n5\n" + flags_hint},
      {{"HEAD"},
       e + "лишний аргумент: HEAD\n  подсказка: orrery reflog только со счётчиком строк\n"},
  };
  for (const auto& c : cases) {
    RunResult r = orrery(command_line("reflog", c.args));
    SCOPED_TRACE(c.args.front());
    EXPECT_RUN(r, 1, "", c.err);
  }
}

}  // namespace
}  // namespace testing_support
