#include <string>
#include <vector>

#include "support/repo_builder.h"

namespace testing_support {
namespace {

// main: c[0] … c[4], built through the store with chosen times.
class BlameCommand : public OrreryTest {
 protected:
  void SetUp() override {
    init_repo();
    const std::pair<FileSet, uint64_t> versions[] = {
        {{{"doc/f.txt", "one\ntwo\nthree\n"}}, 1700000000},
        {{{"doc/f.txt", "two\none\nthree\nfour\n"}, {"-x", "dash\n"}}, 1700003600},
        {{{"doc/g.txt", "gone\n"}, {"bin", std::string("a\0b", 3)}}, 1700007200},
        {{{"doc/f.txt", "two\nthree\n"}}, 0},
        {{{"doc/f.txt", "two\nTHREE\nthree\n"}}, 1700010000},
    };
    for (const auto& [files, time] : versions) {
      std::vector<ObjectId> parents;
      if (!c.empty()) parents.push_back(c.back());
      c.push_back(commit_files(dir.path(), files, parents, "m", time));
    }
  }
  std::string who(int i, const std::string& date) {
    return c[i].substr(0, 12) + " (tester" + (date.empty() ? "" : " " + date) + ")\t";
  }

  std::vector<ObjectId> c;
};

TEST_F(BlameCommand, FollowsMovedDeletedAndReaddedLines) {
  EXPECT_RUN(
      orrery({"blame", "doc/f.txt"}), 0,
      who(3, "") + "two\n" + who(4, "2023-11-15 01:00 UTC") + "THREE\n" + who(3, "") + "three\n",
      "");
  write_text(file("doc/untracked"), "");  // a directory to run in
  EXPECT_RUN(orrery_in(file("doc"), {"blame", "HEAD~3", "f.txt"}), 0,
             who(0, "2023-11-14 22:13 UTC") + "two\n" + who(1, "2023-11-14 23:13 UTC") + "one\n" +
                 who(0, "2023-11-14 22:13 UTC") + "three\n" + who(1, "2023-11-14 23:13 UTC") +
                 "four\n",
             "");
  EXPECT_RUN(orrery({"blame", c[1], "--", "-x"}), 0, who(1, "2023-11-14 23:13 UTC") + "dash\n", "");
}

TEST_F(BlameCommand, ReportsItsErrorsWithTwo) {
  const std::string e = "orrery: ошибка: ";
  const std::string format = "\n  подсказка: формат: orrery blame [HEAD|ревизия] <файл>";
  const std::string failed = e + "не удалось вычислить blame\n  подсказка: ";
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"-x"},
       e + "неизвестный флаг (пути, начинающиеся с «-», указывай после «--»)" + format +
           "   например: orrery blame HEAD readme.txt\n"},
      {{"nope", "f"},
       e + "не удалось распознать ревизию\n  подсказка: задай ветку, тег или "
           "полный SHA-256 коммита\n"},
      {{"../f"}, e + "путь недопустим или вне корня репозитория\n  подсказка: ../f\n"},
      {{"bin"},
       failed + "нет текстового файла по этому пути в выбранной ревизии (или файл "
                "бинарный)\n"},
  };
  for (const auto& c : cases) {
    EXPECT_RUN(orrery(command_line("blame", c.args)), 2, "", c.err);
  }
}

}  // namespace
}  // namespace testing_support
