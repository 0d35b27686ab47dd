#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <set>
#include <thread>

#include "store/fs.h"
#include "support/repo_builder.h"
#include "support/test_support.h"

namespace testing_support {
namespace {

class CommitCommand : public OrreryTest {
 protected:
  void SetUp() override { init_repo(); }

  // Runs a commit and returns the id it printed.
  std::string commit(const std::vector<std::string>& args, const std::string& user = "tester") {
    RunResult r = run_orrery(command_line("commit", args), {dir.path(), "", {{"USER", user}}});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Закоммичено " + branch_tip(dir.path()) + "\n");
    return branch_tip(dir.path());
  }
  void add(const std::string& path, const std::string& content) {
    write_text(file(path), content);
    ASSERT_EQ(orrery({"add", path}).code, 0);
  }
  Commit commit_at(const std::string& id) {
    return read_commit(Repository(dir.path()).objects, id).value_or(Commit{});
  }

  // Runs "commit -m two" while another process moves things: the lock holds
  // the commit at its first object write, which comes after it has read
  // HEAD and opened the index; then `meanwhile` runs and the lock goes.
  RunResult commit_while(const std::function<void()>& meanwhile) {
    int watch = inotify_init1(IN_CLOEXEC);
    EXPECT_GE(watch, 0);
    EXPECT_GE(inotify_add_watch(watch, file(".orrery/index").c_str(), IN_OPEN), 0);
    EXPECT_EQ(mkdir(file(".orrery/lock").c_str(), 0755), 0);
    RunResult r;
    std::thread runner([&] { r = orrery({"commit", "-m", "two"}); });
    char event[sizeof(inotify_event) + 256];
    EXPECT_GT(read(watch, event, sizeof event), 0);
    close(watch);
    meanwhile();
    remove_path(file(".orrery/lock"));
    runner.join();
    return r;
  }
};

TEST_F(CommitCommand, RejectsBadArgumentsBeforeLookingAtTheRepository) {
  TempDir elsewhere;
  EXPECT_RUN(orrery_in(elsewhere.path(), {"commit", "-m"}), 1, "",
             "orrery: ошибка: неизвестный флаг для commit: -m\n"
             "  подсказка: orrery commit -m \"…\" [--amend]\n");
}

TEST_F(CommitCommand, NeedsAMessageUnlessAmending) {
  for (auto args : {std::vector<std::string>{}, {"-m", ""}}) {
    EXPECT_RUN(orrery(command_line("commit", args)), 1, "",
               "orrery: ошибка: не задано сообщение коммита\n"
               "  подсказка: используй: orrery commit -m \"…\" или при --amend см. помощь\n");
  }
  EXPECT_RUN(orrery({"commit", "--amend", "-m", "x"}), 1, "",
             "orrery: ошибка: нет коммита для --amend\n"
             "  подсказка: сначала сделай первый коммит\n");
  EXPECT_EQ(list_files(file(".orrery/refs")), std::vector<std::string>{});
}

TEST_F(CommitCommand, TheFirstCommitIsARootAndStartsTheBranchAndTheReflog) {
  add("a/b.txt", "b");
  write_text(file("a/c/run.sh"), "#!/bin/sh\n");
  ASSERT_EQ(chmod(file("a/c/run.sh").c_str(), 0755), 0);  // still committed as a plain file
  ASSERT_EQ(orrery({"add", "a/c/run.sh"}).code, 0);
  const std::string id = commit({"-m", "first"});
  const Commit c = commit_at(id);
  EXPECT_TRUE(c.parents.empty());
  EXPECT_EQ(c.author, "tester");
  EXPECT_EQ(c.message, "first");
  EXPECT_EQ(c.tree, store_tree(Repository(dir.path()).objects,
                               {{"a/b.txt", "b"}, {"a/c/run.sh", "#!/bin/sh\n"}}));
  EXPECT_EQ(read_text(file(".orrery/logs/HEAD")),
            std::string(k_zero_id) + " " + id + "\tобновление: main\n");
  EXPECT_EQ(read_text(file(".orrery/refs/heads/main")), id + "\n");
}

TEST_F(CommitCommand, ChainsCommitsEvenWithoutChanges) {
  add("a.txt", "a");
  const std::string first = commit({"-m", "one"});
  const Commit c = commit_at(commit({"-m", "ignored", "-m", "two"}));
  EXPECT_EQ(c.parents, std::vector<std::string>{first});
  EXPECT_EQ(c.message, "two");
  EXPECT_EQ(c.tree, commit_at(first).tree);
}

TEST_F(CommitCommand, AmendKeepsParentsAuthorAndMessageButTakesTheNewTree) {
  add("a.txt", "a");
  commit({"-m", "first root"}, "alice");
  const std::string root = commit({"--amend", "-m", "root"});
  EXPECT_TRUE(commit_at(root).parents.empty());
  add("b.txt", "b");
  const std::string second = commit({"-m", "second"}, "alice");
  add("c.txt", "c");
  const std::string amended = commit({"--amend"}, "bob");
  const Commit c = commit_at(amended);
  EXPECT_EQ(c.parents, std::vector<std::string>{root});
  EXPECT_EQ(c.author, "alice");
  EXPECT_EQ(c.message, "second");
  EXPECT_EQ(c.tree, store_tree(Repository(dir.path()).objects,
                               {{"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"}}));
  EXPECT_NE(amended, second);
}

TEST_F(CommitCommand, OnADetachedHeadMovesHeadItself) {
  add("a.txt", "a");
  const std::string first = commit({"-m", "one"});
  write_text(file(".orrery/HEAD"), first + "\n");
  RunResult r = orrery({"commit", "-m", "detached"});
  ASSERT_EQ(r.code, 0);
  const std::string id = read_text(file(".orrery/HEAD")).substr(0, 64);
  EXPECT_EQ(r.out, "Закоммичено " + id + "\n");
  EXPECT_EQ(commit_at(id).parents, std::vector<std::string>{first});
  EXPECT_EQ(branch_tip(dir.path()), first);
}

TEST_F(CommitCommand, RefusesToMoveABranchOrADetachedHeadThatMovedMeanwhile) {
  add("a.txt", "a");
  const std::string first = commit({"-m", "one"});
  const std::string theirs =
      store_commit(Repository(dir.path()).objects, commit_at(first).tree, {first}, "theirs");
  const std::string hint = "  подсказка: повтори orrery commit\n";
  // Written beside and renamed over, as the store writes: a file truncated
  // in place would read as damaged for an instant.
  const auto replace = [&](const std::string& name) {
    write_text(file(name + ".new"), theirs + "\n");
    ASSERT_EQ(std::rename(file(name + ".new").c_str(), file(name).c_str()), 0);
  };
  RunResult r = commit_while([&] { replace(".orrery/refs/heads/main"); });
  EXPECT_RUN(r, 1, "", "orrery: ошибка: ветка сдвинулась во время коммита: main\n" + hint);
  EXPECT_EQ(branch_tip(dir.path()), theirs);

  write_text(file(".orrery/HEAD"), first + "\n");
  r = commit_while([&] { replace(".orrery/HEAD"); });
  EXPECT_RUN(r, 1, "", "orrery: ошибка: ветка сдвинулась во время коммита: HEAD\n" + hint);
  EXPECT_EQ(read_text(file(".orrery/HEAD")), theirs + "\n");
}

TEST_F(CommitCommand, ConcurrentCommitsNeverLoseASuccessfulOne) {
  add("a.txt", "a");
  commit({"-m", "base"});
  constexpr int k_processes = 6;
  std::vector<RunResult> results(k_processes);
  std::vector<std::thread> threads;
  for (int i = 0; i < k_processes; ++i) {
    threads.emplace_back([&, i] { results[i] = orrery({"commit", "-m", concat("c", i)}); });
  }
  for (std::thread& t : threads) t.join();

  std::set<std::string> reachable;
  for (std::string id = branch_tip(dir.path()); !id.empty();) {
    reachable.insert(id);
    const Commit c = commit_at(id);
    id = c.parents.empty() ? "" : c.parents.front();
  }
  int succeeded = 0;
  for (const RunResult& r : results) {
    if (r.code == 0) {
      ++succeeded;
      EXPECT_TRUE(reachable.count(r.out.substr(std::string("Закоммичено ").size(), 64))) << r.out;
    } else {
      EXPECT_EQ(r.err.substr(0, r.err.find('\n')),
                "orrery: ошибка: ветка сдвинулась во время коммита: main");
    }
  }
  EXPECT_GE(succeeded, 1);
  EXPECT_EQ(reachable.size(), static_cast<size_t>(succeeded) + 1);
}

}  // namespace
}  // namespace testing_support
