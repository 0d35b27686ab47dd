#include <gtest/gtest.h>

#include "store/index.h"
#include "support/repo_builder.h"
#include "support/test_support.h"

namespace testing_support {
namespace {

constexpr const char* k_prompt = "Добавить этот hunk? [y,n,a,d,q] ";
constexpr const char* k_headers = "diff -- a/f.txt b/f.txt\n--- a/f.txt\n+++ b/f.txt\n";

// Two hunks: the first line changes, and far below it the last line does.
constexpr const char* k_old = "a\nb\nc\nd\ne\nf\ng\nh\ni\nj\nk\n";
constexpr const char* k_new = "A\nb\nc\nd\ne\nf\ng\nh\ni\nj\nK\n";
constexpr const char* k_first_hunk = "@@ -1,4 +1,4 @@\n-a\n+A\n b\n c\n d\n";
constexpr const char* k_second_hunk = "@@ -8,5 +8,5 @@\n h\n i\n j\n-k\n+K\n \n";

class AddPatch : public OrreryTest {
 protected:
  void SetUp() override {
    init_repo();
    write_text(file("f.txt"), k_old);
    ASSERT_EQ(orrery({"add", "f.txt"}).code, 0);
    write_text(file("f.txt"), k_new);
  }
  RunResult patch(const std::string& answers) {
    return orrery_input({"add", "-p", "f.txt"}, answers);
  }
  std::string staged() {
    Repository repo(dir.path());
    Index index = load_index(repo);
    return read_object(repo.objects, index.at("f.txt").hash)->data;
  }
  std::string added_line(const std::string& content) {
    return "добавлен (patch) f.txt (" + python_blob_id(content) + ")\n";
  }
};

TEST_F(AddPatch, StagesTheChosenHunksOnly) {
  struct Case {
    std::string answers;
    std::string prompts;  // what follows the first hunk
    std::string content;
  };
  const std::string both = std::string(k_headers) + k_first_hunk + k_prompt;
  const std::string second = std::string(k_headers) + k_second_hunk;
  const Case cases[] = {
      {"y\nn\n", both + second + k_prompt, "A\nb\nc\nd\ne\nf\ng\nh\ni\nj\nk\n"},
      {"n\nyes\n", both + second + k_prompt, "a\nb\nc\nd\ne\nf\ng\nh\ni\nj\nK\n"},
      {"a\n", both + second, k_new},
      {"d\n", both, k_old},
      {"Yes\ny \n?\nN\nY\n", both + k_prompt + k_prompt + k_prompt + second + k_prompt,
       "a\nb\nc\nd\ne\nf\ng\nh\ni\nj\nK\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answers);
    ASSERT_EQ(orrery({"add", "f.txt"}).code, 0);  // reset: stage the whole file
    Repository repo(dir.path());
    Index index = load_index(repo);
    index["f.txt"].hash = write_object(repo.objects, "blob", k_old);
    save_index(repo, index);
    EXPECT_RUN(patch(c.answers), 0, c.prompts + added_line(c.content), "");
    EXPECT_EQ(staged(), c.content);
  }
}

TEST_F(AddPatch, QuittingOrRunningOutOfInputStagesNothing) {
  const std::string before = read_text(file(".orrery/index"));
  EXPECT_RUN(patch("q\n"), 1, std::string(k_headers) + k_first_hunk + k_prompt,
             "orrery: ошибка: отменено\n");
  EXPECT_RUN(
      patch("y\n"), 1,
      std::string(k_headers) + k_first_hunk + k_prompt + k_headers + k_second_hunk + k_prompt,
      "orrery: ошибка: интерактивный ввод прерван\n");
  EXPECT_EQ(read_text(file(".orrery/index")), before);
}

TEST_F(AddPatch, KeepsTheStatSoTheFileLooksUnchangedAfterwards) {
  ASSERT_EQ(patch("y\nn\n").code, 0);
  EXPECT_RUN(orrery({"status", "-s"}), 1, "A  f.txt\n", "");
}

TEST_F(AddPatch, OffersANewFileWholeAndANewlineChangeAsALine) {
  const std::pair<std::string, std::string> cases[] = {
      {"one\ntwo", "@@ -1,0 +1,2 @@\n+one\n+two\n"},
      {"one\ntwo\n", "@@ -1,2 +1,3 @@\n one\n two\n+\n"},
  };
  for (const auto& [content, hunk] : cases) {
    write_text(file("new.txt"), content);
    EXPECT_RUN(orrery_input({"add", "-p", "new.txt"}, "y\n"), 0,
               "diff -- a/new.txt b/new.txt\n--- a/new.txt\n+++ b/new.txt\n" + hunk + k_prompt +
                   "добавлен (patch) new.txt (" + python_blob_id(content) + ")\n",
               "");
  }
}

TEST_F(AddPatch, ReportsWhatItCannotStage) {
  ASSERT_EQ(orrery({"add", "f.txt"}).code, 0);
  EXPECT_RUN(orrery({"add", "-p", "f.txt"}), 0, "Нет изменений для добавления: f.txt\n", "");
  EXPECT_RUN(orrery({"add", "-p", "f.txt", "g.txt"}), 1, "",
             "orrery: ошибка: add -p пока поддерживает ровно один файл\n"
             "  подсказка: используй 'orrery add <путь...>' чтобы добавить файлы целиком\n");
  EXPECT_RUN(orrery({"add", "-p", "missing"}), 1, "",
             "orrery: ошибка: не является обычным файлом: missing\n");
  write_text(file(".orreryignore"), "*.log\n");
  write_text(file("x.log"), "x");
  EXPECT_RUN(orrery({"add", "-p", "x.log"}), 0, "", "Пропущено (ignored): x.log\n");
}

}  // namespace
}  // namespace testing_support
