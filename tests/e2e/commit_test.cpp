#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <thread>

#include "stage_commit_support.h"
#include "store/fs.h"
#include "support/test_support.h"

namespace {

using namespace testing_support;
using namespace stage_commit_support;

constexpr const char* k_hint = "  подсказка: orrery commit -m \"…\" [--amend]\n";

class CommitCommand : public OrreryTest {
 protected:
  void SetUp() override { init_repo(); }

  // Runs a commit and returns the id it printed.
  std::string commit(std::initializer_list<std::string> args, const std::string& user = "tester") {
    RunOptions options;
    options.cwd = dir.path();
    options.env["USER"] = user;
    std::vector<std::string> all{"commit"};
    all.insert(all.end(), args);
    RunResult r = run_orrery(all, options);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Закоммичено " + branch_tip(dir.path()) + "\n");
    return branch_tip(dir.path());
  }
  void add(const std::string& path, const std::string& content) {
    write_text(file(path), content);
    ASSERT_EQ(orrery({"add", path}).code, 0);
  }
  Tree tree(const std::string& id) {
    return read_tree(Repository(dir.path()).objects, id).value_or(Tree{});
  }
  std::string reflog() { return read_text(file(".orrery/logs/HEAD")); }
};

TEST_F(CommitCommand, RejectsBadArgumentsBeforeLookingAtTheRepository) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"-x"}, "неизвестный флаг для commit: -x"},
      {{"-m", "msg", "--amen"}, "неизвестный флаг для commit: --amen"},
      {{"-m"}, "неизвестный флаг для commit: -m"},
      {{"extra"}, "лишний аргумент для commit: extra"},
  };
  TempDir elsewhere;
  for (const auto& [args, message] : cases) {
    std::vector<std::string> all{"commit"};
    all.insert(all.end(), args.begin(), args.end());
    RunOptions options;
    options.cwd = elsewhere.path();
    EXPECT_RUN(run_orrery(all, options), 1, "", "orrery: ошибка: " + message + "\n" + k_hint);
  }
}

TEST_F(CommitCommand, NeedsAMessageUnlessAmending) {
  for (auto args : {std::vector<std::string>{"commit"}, {"commit", "-m", ""}, {"commit", ""}}) {
    RunOptions options;
    options.cwd = dir.path();
    EXPECT_RUN(run_orrery(args, options), 1, "",
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
  add("a/c/d.txt", "d");
  const std::string id = commit({"-m", "first"});
  Commit c = commit_at(dir.path(), id);
  EXPECT_TRUE(c.parents.empty());
  EXPECT_EQ(c.author, "tester");
  EXPECT_EQ(c.message, "first");
  Tree root = tree(c.tree);
  ASSERT_EQ(root.size(), 1u);
  EXPECT_EQ(root[0].path, "a");
  Tree a = tree(root[0].hash);
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0].type + " " + a[0].path, "blob b.txt");
  EXPECT_EQ(a[1].type + " " + a[1].path + " " + a[1].mode, "tree c 40000");
  EXPECT_EQ(reflog(), std::string(k_zero_id) + " " + id + "\tобновление: main\n");
  EXPECT_EQ(read_text(file(".orrery/refs/heads/main")), id + "\n");
}

TEST_F(CommitCommand, ChainsCommitsEvenWithoutChanges) {
  add("a.txt", "a");
  const std::string first = commit({"-m", "one"});
  const std::string second = commit({"-m", "ignored", "-m", "two"});
  Commit c = commit_at(dir.path(), second);
  EXPECT_EQ(c.parents, std::vector<std::string>{first});
  EXPECT_EQ(c.message, "two");
  EXPECT_EQ(c.tree, commit_at(dir.path(), first).tree);
}

TEST_F(CommitCommand, AnExecutableFileIsStillCommittedAsAPlainFile) {
  write_text(file("run.sh"), "#!/bin/sh\n");
  ASSERT_EQ(chmod(file("run.sh").c_str(), 0755), 0);
  ASSERT_EQ(orrery({"add", "run.sh"}).code, 0);
  Tree root = tree(commit_at(dir.path(), commit({"-m", "x"})).tree);
  ASSERT_EQ(root.size(), 1u);
  EXPECT_EQ(root[0].mode, "100644");
}

TEST_F(CommitCommand, AmendKeepsParentsAuthorAndMessageButTakesTheNewTree) {
  add("a.txt", "a");
  const std::string root = commit({"-m", "root"}, "alice");
  add("b.txt", "b");
  const std::string second = commit({"-m", "second"}, "alice");
  add("c.txt", "c");
  const std::string amended = commit({"--amend"}, "bob");
  Commit c = commit_at(dir.path(), amended);
  EXPECT_EQ(c.parents, std::vector<std::string>{root});
  EXPECT_EQ(c.author, "alice");
  EXPECT_EQ(c.message, "second");
  EXPECT_EQ(tree(c.tree).size(), 3u);
  EXPECT_NE(amended, second);
  EXPECT_EQ(commit_at(dir.path(), commit({"--amend", "-m", "reworded"})).message, "reworded");
}

TEST_F(CommitCommand, AmendingARootCommitGivesAnotherRoot) {
  add("a.txt", "a");
  commit({"-m", "root"});
  EXPECT_TRUE(commit_at(dir.path(), commit({"--amend", "-m", "new root"})).parents.empty());
}

TEST_F(CommitCommand, OnADetachedHeadMovesHeadItself) {
  add("a.txt", "a");
  const std::string first = commit({"-m", "one"});
  write_text(file(".orrery/HEAD"), first + "\n");
  RunResult r = orrery({"commit", "-m", "detached"});
  ASSERT_EQ(r.code, 0);
  const std::string id = read_text(file(".orrery/HEAD")).substr(0, 64);
  EXPECT_EQ(r.out, "Закоммичено " + id + "\n");
  EXPECT_EQ(commit_at(dir.path(), id).parents, std::vector<std::string>{first});
  EXPECT_EQ(branch_tip(dir.path()), first);
}

TEST_F(CommitCommand, RefusesToMoveABranchThatMovedMeanwhile) {
  add("a.txt", "a");
  const std::string first = commit({"-m", "one"});
  const std::string theirs = make_commit(dir.path(), first, "theirs");
  // Another process's commit lands while this one is being made: the lock
  // holds this commit at its first object write, which comes after it has
  // read HEAD and opened the index; then the branch moves and the lock goes.
  int watch = inotify_init1(IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, file(".orrery/index").c_str(), IN_OPEN), 0);
  ASSERT_EQ(mkdir(file(".orrery/lock").c_str(), 0755), 0);
  RunOptions options;
  options.cwd = dir.path();
  RunResult r;
  std::thread runner([&] { r = run_orrery({"commit", "-m", "two"}, options); });
  char event[sizeof(inotify_event) + 256];
  EXPECT_GT(read(watch, event, sizeof event), 0);
  close(watch);
  set_ref(dir.path(), "refs/heads/main", theirs);
  remove_path(file(".orrery/lock"));
  runner.join();
  EXPECT_RUN(r, 1, "",
             "orrery: ошибка: ветка сдвинулась во время коммита: main\n"
             "  подсказка: повтори orrery commit\n");
  EXPECT_EQ(branch_tip(dir.path()), theirs);
}

TEST_F(CommitCommand, ConcurrentCommitsNeverLoseASuccessfulOne) {
  add("a.txt", "a");
  commit({"-m", "base"});
  constexpr int k_processes = 6;
  std::vector<RunResult> results(k_processes);
  std::vector<std::thread> threads;
  for (int i = 0; i < k_processes; ++i) {
    threads.emplace_back([&, i] {
      RunOptions options;
      options.cwd = dir.path();
      results[i] = run_orrery({"commit", "-m", "c" + std::to_string(i)}, options);
    });
  }
  for (std::thread& t : threads) t.join();

  std::set<std::string> reachable;
  for (std::string id = branch_tip(dir.path()); !id.empty();) {
    reachable.insert(id);
    Commit c = commit_at(dir.path(), id);
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
