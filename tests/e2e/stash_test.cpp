#include <string>
#include <vector>

#include "support/repo_builder.h"

namespace testing_support {
namespace {

class StashCommand : public HistoryTest {
 protected:
  void SetUp() override {
    HistoryTest::SetUp();
    commit({{"a.txt", "a\n"}, {"b.txt", "b\n"}}, "base");
    write_text(file("u.txt"), "untracked\n");
  }
  // Writes and stages the files, then saves them.
  std::string save(const FileSet& files, std::vector<std::string> save_args) {
    for (const auto& [path, content] : files) {
      write_text(file(path), content);
      EXPECT_EQ(orrery({"add", path}).code, 0);
    }
    save_args.insert(save_args.begin(), {"stash", "save"});
    RunResult r = orrery(save_args);
    const std::string id = meta("refs/stash").substr(0, 64);
    EXPECT_RUN(r, 0, "стэш сохранён: " + id + "\n", "");
    return id;
  }
  std::string list_line(int n, const std::string& id, const std::string& message) {
    return "stash@{" + std::to_string(n) + "}: " + id.substr(0, 12) + " стэш: " + message + "\n";
  }
};

TEST_F(StashCommand, KeepsAStackOfThreeAndDropsFromTheMiddle) {
  const std::string one = save({{"a.txt", "a1\n"}, {"new/n.txt", "n\n"}}, {"-m", "one"});
  EXPECT_EQ(read_text(file("a.txt")), "a\n");
  EXPECT_FALSE(path_exists(file("new")));
  EXPECT_RUN(orrery({"status", "-s"}), 1, "?? u.txt\n", "");
  const std::string two = save({{"b.txt", "b2\n"}}, {"-m"});
  const std::string three = save({{"a.txt", "a3\n"}}, {"x", "-m", "three"});
  EXPECT_RUN(orrery({"stash"}), 0,
             list_line(0, three, "three") + list_line(1, two, "WIP") + list_line(2, one, "one"),
             "");
  EXPECT_RUN(orrery({"stash", "show", "stash@{2}"}), 0, "a.txt\nnew/n.txt (новый)\n", "");

  EXPECT_RUN(orrery({"stash", "drop", "stash@{1}"}), 0, "удалён stash@{1} (" + two + ")\n", "");
  const std::string top = meta("refs/stash").substr(0, 64);
  EXPECT_NE(top, three);
  EXPECT_RUN(orrery({"stash", "list"}), 0, list_line(0, top, "three") + list_line(1, one, "one"),
             "");
  EXPECT_EQ(orrery({"stash", "pop", "stash@{1}"}).code, 1);
  EXPECT_RUN(orrery({"stash", "apply", "stash@{1}"}), 0, "стэш применён\n", "");
  EXPECT_EQ(read_text(file("a.txt")), "a1\n");
  EXPECT_EQ(read_text(file("new/n.txt")), "n\n");
  EXPECT_NE(meta("index").find("\"new/n.txt\": {\n      \"hash\": \"" + python_blob_id("n\n") +
                               "\",\n      \"mode\": 0,\n      \"mtime\": 0,\n      \"size\": 0"),
            std::string::npos);
  EXPECT_RUN(orrery({"stash", "pop"}), 0, "стэш применён\n", "");
  EXPECT_RUN(orrery({"stash", "list"}), 0, list_line(0, one, "one"), "");
  EXPECT_RUN(orrery({"stash", "clear"}), 0, "", "");
  EXPECT_FALSE(has_meta("refs/stash"));
  EXPECT_RUN(orrery({"stash", "drop"}), 1, "", "orrery: ошибка: stash пуст\n");
}

TEST_F(StashCommand, RefusesToSaveOverUnstagedWork) {
  write_text(file("a.txt"), "staged\n");
  ASSERT_EQ(orrery({"add", "a.txt"}).code, 0);
  write_text(file("a.txt"), "edited after staging\n");
  const std::string index = meta("index");
  EXPECT_RUN(orrery({"stash", "save"}), 1, "",
             "orrery: ошибка: stash: есть неподготовленные изменения\n  подсказка: добавь их "
             "(orrery add …) или верни (orrery restore …)\n");
  EXPECT_EQ(read_text(file("a.txt")), "edited after staging\n");
  EXPECT_EQ(meta("index"), index);
  EXPECT_FALSE(has_meta("refs/stash"));
}

TEST_F(StashCommand, RefusesAnEntryWithAnUnsafePathWhole) {
  Repository repo(dir.path());
  const ObjectId blob = write_object(repo.objects, "blob", "x\n");
  const ObjectId evil = store_raw_tree(repo.objects, {{"100644", "blob", blob, "config"}});
  const ObjectId tree = store_raw_tree(
      repo.objects, {{"40000", "tree", evil, ".orrery"}, {"100644", "blob", blob, "a.txt"}});
  update_ref(repo, "refs/stash", store_commit(repo.objects, tree, {*head_commit(repo)}));
  const std::string index = meta("index");
  EXPECT_RUN(orrery({"stash", "apply"}), 1, "", "orrery: ошибка: stash повреждён\n");
  EXPECT_EQ(read_text(file("a.txt")), "a\n");
  EXPECT_EQ(meta("index"), index);
}

}  // namespace
}  // namespace testing_support
