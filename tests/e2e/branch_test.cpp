#include <algorithm>

#include "support/repo_builder.h"

namespace testing_support {
namespace {

using BranchCommand = HistoryTest;

std::vector<std::string> sorted_lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST_F(BranchCommand, ListsCreatesMovesAndDeletes) {
  EXPECT_RUN(orrery({"branch"}), 0, "", "");
  EXPECT_RUN(orrery({"branch", "topic"}), 1, "",
             "orrery: ошибка: нет коммитов\n  подсказка: сначала сделай первый коммит\n");
  ObjectId c1 = commit({{"a.txt", "1\n"}}, "first");
  EXPECT_RUN(orrery({"branch", "topic"}), 0, "Создана ветка topic\n", "");
  ObjectId c2 = commit({{"a.txt", "2\n"}}, "second");
  EXPECT_RUN(orrery({"branch", "topic"}), 0, "Создана ветка topic\n", "");  // moved to HEAD
  EXPECT_EQ(meta("refs/heads/topic"), c2 + "\n");
  EXPECT_RUN(orrery({"branch", "-d"}), 0, "Создана ветка -d\n", "");

  RunResult listing = orrery({"branch"});
  EXPECT_EQ(listing.code, 0);
  EXPECT_EQ(sorted_lines(listing.out), (std::vector<std::string>{"  -d", "  topic", "* main"}));

  EXPECT_RUN(orrery({"branch", "-d", "-d", "ignored"}), 0, "Deleted branch -d\n", "");
  EXPECT_RUN(orrery({"branch", "-d", "gone"}), 1, "", "Ветка не найдена: gone\n");
  EXPECT_RUN(orrery({"branch", "-d", "../HEAD"}), 1, "", "Ветка не найдена: ../HEAD\n");
  EXPECT_RUN(orrery({"branch", "-d", "main"}), 0, "Deleted branch main\n", "");
  EXPECT_EQ(meta("HEAD"), "ref: refs/heads/main\n");
  EXPECT_EQ(meta("logs/HEAD"),
            line(zero(), c1, "обновление: main") + line(c1, c2, "обновление: main"));
}

TEST_F(BranchCommand, VerboseListingShowsUpstreamState) {
  ObjectId c1 = commit({{"a.txt", "1\n"}}, "first");
  commit({{"a.txt", "2\n"}}, "second");
  ObjectId c3 = commit({{"a.txt", "3\n"}}, "third");
  EXPECT_RUN(orrery({"branch", "-u", "origin/main"}), 0, "Ветка main отслеживает origin/main\n",
             "");
  EXPECT_RUN(orrery({"branch", "-vv"}), 0, "* main " + c3.substr(0, 7) + " [origin/main]\n", "");

  write_text(file(".orrery/refs/remotes/origin/main"), c1 + "\n");
  EXPECT_RUN(orrery({"branch", "-vv"}), 0,
             "* main " + c3.substr(0, 7) + " [origin/main: ahead 2, behind 0]\n", "");
  Repository repo(dir.path());
  ObjectId other =
      store_commit(repo.objects, store_tree(repo.objects, {{"x", "x"}}), {}, "elsewhere");
  write_text(file(".orrery/refs/remotes/origin/main"), other + "\n");
  EXPECT_RUN(orrery({"branch", "-vv"}), 0, "* main " + c3.substr(0, 7) + " [origin/main: ?]\n", "");

  EXPECT_RUN(orrery({"branch", "--set-upstream-to=up/feature/x", "topic"}), 0,
             "Ветка topic отслеживает up/feature/x\n", "");
  EXPECT_EQ(meta("config"),
            "[branch \"main\"]\nupstream.remote = origin\nupstream.branch = main\n\n"
            "[branch \"topic\"]\nupstream.remote = up\nupstream.branch = feature/x\n\n");
}

}  // namespace
}  // namespace testing_support
