#include "support/repo_builder.h"

namespace testing_support {
namespace {

using LogCommand = HistoryTest;

TEST_F(LogCommand, FullFormatFollowsFirstParentsOnly) {
  EXPECT_RUN(orrery({"log"}), 0, "Коммитов ещё нет\n", "");
  ObjectId c1 = commit({{"a.txt", "1\n"}}, "first");
  ObjectId c2 = commit({{"a.txt", "2\n"}}, "second\nbody line");
  Repository repo(dir.path());
  ObjectId side =
      store_commit(repo.objects, store_tree(repo.objects, {{"s.txt", "side\n"}}), {}, "side root");
  ObjectId merge = store_commit(repo.objects, store_tree(repo.objects, {{"a.txt", "3\n"}}),
                                {c2, side}, "merge", 1700000009);
  update_ref(repo, "refs/heads/main", merge);

  EXPECT_RUN(orrery({"log"}), 0,
             "Коммит " + merge + "\nАвтор: tester\nДата: 1700000009\nРодители: " + c2 + ", " +
                 side + "\n\n    merge\n\n" + "Коммит " + c2 +
                 "\nАвтор: tester\nДата: 1700000001\nРодители: " + c1 +
                 "\n\n    second\nbody line\n\n" + "Коммит " + c1 +
                 "\nАвтор: tester\nДата: 1700000000\n\n    first\n\n",
             "");
  EXPECT_RUN(orrery({"log", "--oneline", "-n", "2"}), 0,
             merge.substr(0, 12) + " merge\n" + c2.substr(0, 12) + " second\n", "");
  EXPECT_RUN(orrery({"log", "--oneline", "--max-count= +1", "HEAD^^"}), 0,
             c1.substr(0, 12) + " first\n", "");
}

TEST_F(LogCommand, DecorationsNameHeadBranchesRemotesAndTags) {
  ObjectId c1 = commit({{"a.txt", "1\n"}}, "first");
  ObjectId c2 = commit({{"a.txt", "2\n"}}, "second");
  write_text(file(".orrery/refs/remotes/origin/main"), "  " + c2 + "\r\n");
  write_text(file(".orrery/refs/tags/release"), c2 + "\n");
  write_text(file(".orrery/refs/tags/v/1"), c1 + "\n");
  write_text(file(".orrery/refs/heads/old"), c1 + "\n");

  const std::string expected = c2.substr(0, 12) +
                               " (HEAD -> main, origin/main, tag: release) second\n" +
                               c1.substr(0, 12) + " (old, tag: v/1) first\n";
  EXPECT_RUN(orrery({"log", "--oneline", "--decorate"}), 0, expected, "");
  EXPECT_RUN(orrery({"log", "--oneline", "--decorate", "--decorate=NO"}), 0,
             c2.substr(0, 12) + " second\n" + c1.substr(0, 12) + " first\n", "");

  orrery({"checkout", c1});
  EXPECT_RUN(
      orrery({"log", "--decorate", "-n", "1"}), 0,
      "Коммит " + c1 + " (HEAD, old, tag: v/1)\nАвтор: tester\nДата: 1700000000\n\n    first\n\n",
      "");
}

TEST_F(LogCommand, MissingParentEndsTheListingQuietly) {
  Repository repo(dir.path());
  ObjectId lonely = store_commit(repo.objects, store_tree(repo.objects, {{"a.txt", "1\n"}}),
                                 {std::string(64, 'e')}, "orphan");
  update_ref(repo, "refs/heads/main", lonely);
  EXPECT_RUN(orrery({"log", "--oneline"}), 0, lonely.substr(0, 12) + " orphan\n", "");
}

}  // namespace
}  // namespace testing_support
