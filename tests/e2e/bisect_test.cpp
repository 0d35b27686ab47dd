#include <string>
#include <vector>

#include "support/repo_builder.h"

namespace testing_support {
namespace {

// c[0] … c[7] on main; the bug arrives with c[5].
class BisectCommand : public HistoryTest {
 protected:
  void SetUp() override {
    HistoryTest::SetUp();
    for (int i = 0; i < 8; ++i) {
      c.push_back(commit({{"f.txt", i >= 5 ? "bug\n" : concat("ok ", i, "\n")}}, concat("c", i)));
    }
  }
  static std::string short_id(const std::string& id) { return id.substr(0, 12) + "…"; }
  std::string detached(int i) { return "Отсоединённый HEAD на " + short_id(c[i]) + "\n"; }
  static std::string marked(const std::string& word, const ObjectId& id) {
    return "bisect: отмечен " + word + ": " + short_id(id) + "\n";
  }

  std::vector<ObjectId> c;
};

TEST_F(BisectCommand, FindsThePlantedBadCommitAndReturnsToTheBranch) {
  EXPECT_RUN(orrery({"bisect", "start"}), 0,
             "bisect: старт по ветви первого родителя между good и bad.\n", "");
  EXPECT_EQ(meta("bisect/original_head_oid"), c[7] + "\n");
  EXPECT_EQ(meta("bisect/original_head_ref"), "refs/heads/main\n");
  EXPECT_RUN(orrery({"bisect", "bad"}), 0,
             marked("bad", c[7]) +
                 "bisect: задайте вторую границу: orrery bisect good <ревизия> или orrery bisect "
                 "bad <ревизия>\n",
             "");
  EXPECT_RUN(orrery({"bisect", "good", "HEAD~7"}), 0, marked("good", c[0]) + detached(4), "");
  EXPECT_EQ(meta("HEAD"), c[4] + "\n");
  EXPECT_RUN(orrery({"bisect", "good"}), 0, marked("good", c[4]) + detached(6), "");
  EXPECT_RUN(orrery({"bisect", "bad"}), 0, marked("bad", c[6]) + detached(5), "");
  EXPECT_EQ(read_text(file("f.txt")), "bug\n");
  EXPECT_RUN(
      orrery({"bisect", "bad"}), 0,
      marked("bad", c[5]) +
          "bisect: проблемная ревизия (рядом с good по первому родителю): " + short_id(c[5]) + "\n",
      "");
  EXPECT_RUN(orrery({"bisect", "reset"}), 0,
             "Переключено на ветку «main»\nbisect: сброс, восстановлена исходная точка HEAD.\n",
             "");
  EXPECT_EQ(meta("HEAD"), "ref: refs/heads/main\n");
  EXPECT_FALSE(has_meta("bisect"));
}

TEST_F(BisectCommand, ResetAfterADetachedStartRestoresTheCommit) {
  ASSERT_EQ(orrery({"checkout", c[3]}).code, 0);
  ASSERT_EQ(orrery({"bisect", "start"}).code, 0);
  EXPECT_EQ(meta("bisect/original_head_ref"), "\n");
  ASSERT_EQ(orrery({"bisect", "bad", c[7]}).code, 0);
  ASSERT_EQ(orrery({"bisect", "good", c[0]}).code, 0);
  EXPECT_RUN(orrery({"bisect", "reset"}), 0,
             detached(3) + "bisect: сброс, восстановлена исходная точка HEAD.\n", "");
}

TEST_F(BisectCommand, RefusesBoundariesOffTheFirstParentLine) {
  Repository repo(dir.path());
  const ObjectId side = store_commit(repo.objects, store_tree(repo.objects, {{"s", "s"}}));
  const ObjectId merge =
      store_commit(repo.objects, store_tree(repo.objects, {{"m", "m"}}), {c[7], side}, "merge");
  const std::string e = "orrery: ошибка: bisect: ";
  ASSERT_EQ(orrery({"bisect", "start"}).code, 0);
  ASSERT_EQ(orrery({"bisect", "bad", merge}).code, 0);
  EXPECT_RUN(orrery({"bisect", "good", side}), 1, marked("good", side),
             e + "не удалось построить цепочку коммитов\n");
  EXPECT_RUN(orrery({"bisect", "good", merge}), 1, marked("good", merge),
             e + "good и bad совпадают\n  подсказка: проверь ревизии или используй историю "
                 "только с линейными коммитами\n");
  ASSERT_EQ(orrery({"bisect", "bad", c[0]}).code, 1);
  EXPECT_EQ(orrery({"bisect", "good", c[7]}).err,
            e + "«good» должен быть предком «bad» на цепочке первого родителя\n");
}

}  // namespace
}  // namespace testing_support
