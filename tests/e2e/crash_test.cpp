// add, commit and gc killed at random moments, as kill -9 would: after each
// kill the repository must still read whole. Every branch names a commit
// whose history and trees read without damage, the index names only stored
// blobs, no commit that main held is lost, and the next writer is not kept
// out by a lock the dead process left.
//
// A few rounds run in the normal suite; ORRERY_CRASH_ROUNDS=<n> runs n.
// Also here: parallel writers of the index, none of whose changes may be
// lost.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <unordered_set>

#include "store/revision.h"
#include "store/tree_walk.h"
#include "support/repo_builder.h"

namespace testing_support {
namespace {

class CrashTest : public OrreryTest {
 protected:
  void SetUp() override {
    init_repo();
    for (int i = 0; i < 200; ++i) write_file(i);
    ASSERT_EQ(orrery({"add", "."}).code, 0);
    ASSERT_EQ(orrery({"commit", "-m", "base"}).code, 0);
    tip = branch_tip(dir.path());
  }

  void write_file(int i) {
    write_text(file(concat("d", i % 7, "/f", i, ".txt")),
               std::string(100 + i, 'a' + random() % 26) + "\n");
  }

  // Starts orrery in the repository with its output discarded.
  pid_t spawn(const std::vector<std::string>& args) {
    std::vector<std::string> strings{ORRERY_BINARY};
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      FILE* null = std::freopen("/dev/null", "w", stdout);
      if (null == nullptr || std::freopen("/dev/null", "w", stderr) == nullptr ||
          chdir(dir.path().c_str()) != 0) {
        _exit(126);
      }
      execv(ORRERY_BINARY, argv.data());
      _exit(127);
    }
    return pid;
  }

  // Everything reachable from the branches reads without damage, and every
  // blob the index names is stored.
  void expect_whole() {
    Repository repo(dir.path());
    std::unordered_set<ObjectId> seen;
    for (const auto& [name, head] : list_branches(repo)) {
      for (std::optional<ObjectId> id = head; id && seen.insert(*id).second;) {
        std::optional<Commit> commit = read_commit(repo.objects, *id);
        ASSERT_TRUE(commit) << "missing commit " << *id;
        walk_tree(repo.objects, commit->tree, [&](const std::string& path, const TreeEntry& e) {
          EXPECT_TRUE(read_object(repo.objects, e.hash)) << path;
        });
        id = commit->parents.empty() ? std::nullopt : std::optional(commit->parents.front());
      }
    }
    for (const auto& [path, entry] : load_index(repo)) {
      EXPECT_TRUE(read_object(repo.objects, entry.hash)) << path;
    }
    const ObjectId now = branch_tip(dir.path());
    EXPECT_TRUE(now == tip || is_ancestor(repo, tip, now)) << "main lost " << tip;
    tip = now;
  }

  uint32_t random() { return engine(); }

  ObjectId tip;
  std::mt19937 engine{std::random_device{}()};
};

TEST_F(CrashTest, KilledWritersLeaveARepositoryThatReadsWhole) {
  const char* rounds_text = std::getenv("ORRERY_CRASH_ROUNDS");
  const int rounds = rounds_text ? std::atoi(rounds_text) : 12;
  const std::vector<std::vector<std::string>> commands = {
      {"add", "."}, {"add", "."}, {"commit", "-m", "round"}, {"gc"}};
  for (int round = 0; round < rounds; ++round) {
    for (int i = 0; i < 5; ++i) write_file(static_cast<int>(random() % 200));
    const auto& args = commands[random() % commands.size()];
    SCOPED_TRACE("round " + std::to_string(round) + ": " + args[0]);
    const pid_t pid = spawn(args);
    usleep(random() % 40000);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);

    expect_whole();
    // The next writer finds the lock free or breaks the dead one's.
    RunResult next = run_orrery({"add", "."}, {dir.path(), "", {}, /*timeout_seconds=*/20});
    EXPECT_EQ(next.code, 0) << next.err;
    expect_whole();
    if (HasFailure()) return;
  }
}

TEST_F(CrashTest, ParallelAddsKeepEveryStagedFile) {
  std::vector<pid_t> adds;
  for (int i = 0; i < 20; ++i) {
    write_text(file("new" + std::to_string(i)), std::to_string(i));
    adds.push_back(spawn({"add", "new" + std::to_string(i)}));
  }
  for (pid_t pid : adds) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const Index index = load_index(Repository(dir.path()));
  for (int i = 0; i < 20; ++i) EXPECT_EQ(index.count("new" + std::to_string(i)), 1u) << i;
}

}  // namespace
}  // namespace testing_support
