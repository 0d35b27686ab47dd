#include <string>
#include <vector>

#include "store/fs.h"
#include "store/refs.h"
#include "store/repo.h"
#include "support/repo_builder.h"
#include "support/test_support.h"

namespace testing_support {
namespace {

// main: root -> parent -> head, HEAD on main.
class DescribeCommand : public OrreryTest {
 protected:
  void SetUp() override {
    init_repo();
    Repository repo(dir.path());
    const ObjectId tree = store_tree(repo.objects, {{"f", {"x"}}});
    root = store_commit(repo.objects, tree, {}, "root", 1);
    parent = store_commit(repo.objects, tree, {root}, "parent", 2);
    head = store_commit(repo.objects, tree, {parent}, "head", 3);
    update_ref(repo, "refs/heads/main", head);
  }
  void tag(const std::string& name, const std::string& content) {
    write_text(file(".orrery/refs/tags/" + name), content);
  }

  ObjectId root, parent, head;
};

const std::string k_no_tag =
    "orrery: ошибка: нет тега, указывающего на этот коммит\n"
    "  подсказка: создай lightweight-тег (`orrery tag …`) или добавь --always для сокращённого "
    "хэша\n";

TEST_F(DescribeCommand, NamesTheCommitByTheFirstExactTagInByteOrder) {
  tag("v2", head + "\n");
  tag("release", head + "\n");
  tag("Zeta", " \t" + head + " \t\r\n");  // blanks and CRLF around the id still match
  tag("v1", parent + "\n");
  tag("v2.tmp.123", head + "\n");                              // an interrupted write, not a tag
  write_text(file(".orrery/refs/tags/group/A"), head + "\n");  // below refs/tags: not looked at

  EXPECT_RUN(orrery({"describe"}), 0, "Zeta\n", "");
  EXPECT_RUN(orrery({"describe", "--tags", "HEAD~1"}), 0, "v1\n", "");
  EXPECT_RUN(orrery({"describe", "main^"}), 0, "v1\n", "");
}

TEST_F(DescribeCommand, FallsBackToTheShortIdOnlyWithAlways) {
  tag("v1", parent + "\n");
  EXPECT_RUN(orrery({"describe"}), 1, "", k_no_tag);
  EXPECT_RUN(orrery({"describe", "--always"}), 0, head.substr(0, 12) + "\n", "");
  EXPECT_RUN(orrery({"describe", root, "--always"}), 0, root.substr(0, 12) + "\n", "");
  remove_path(file(".orrery/refs/tags"));
  EXPECT_RUN(orrery({"describe"}), 1, "", k_no_tag);
  EXPECT_RUN(orrery({"describe", "--always"}), 0, head.substr(0, 12) + "\n", "");
}

using DescribeUnbornBranch = OrreryTest;

TEST_F(DescribeUnbornBranch, CannotResolveHead) {
  init_repo();
  EXPECT_RUN(orrery({"describe", "--always"}), 1, "",
             "orrery: ошибка: describe: не удалось разрешить ревизию: HEAD\n"
             "  подсказка: orrery describe [ревизия]\n");
}

}  // namespace
}  // namespace testing_support
