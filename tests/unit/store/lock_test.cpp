#include "store/lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "store/errors.h"
#include "store/fs.h"
#include "store/repo.h"
#include "support/test_support.h"

using testing_support::read_text;
using testing_support::TempDir;

namespace {

class LockTest : public ::testing::Test {
 protected:
  // Forks a process that takes the lock and, without releasing it, waits
  // for `release` to close (never, when it dies first).
  pid_t hold_in_child(int release[2]) {
    EXPECT_EQ(::pipe(release), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
      ::close(release[1]);
      RepoLock lock(dir.path());
      char byte;
      [[maybe_unused]] ssize_t n = ::read(release[0], &byte, 1);
      ::_exit(0);  // no destructor runs: the lock stays behind
    }
    ::close(release[0]);
    while (!path_exists(dir / ".orrery/lock/owner")) ::usleep(1000);
    return pid;
  }

  TempDir dir;
  Repository repo{dir.path()};
};

TEST_F(LockTest, NestsWithinAProcessAndGoesWithTheOuterGuard) {
  {
    RepoLock outer(dir.path());
    EXPECT_EQ(read_text(dir / ".orrery/lock/owner").rfind(std::to_string(::getpid()) + " ", 0), 0u);
    { RepoLock inner(dir.path()); }
    EXPECT_TRUE(path_exists(dir / ".orrery/lock"));
  }
  EXPECT_FALSE(path_exists(dir / ".orrery/lock"));
}

TEST_F(LockTest, TakesTheLockOfAnOwnerThatDied) {
  int release[2];
  const pid_t pid = hold_in_child(release);
  ::close(release[1]);
  ASSERT_EQ(::waitpid(pid, nullptr, 0), pid);
  ASSERT_TRUE(path_exists(dir / ".orrery/lock"));
  {
    RepoLock lock(dir.path());
    EXPECT_EQ(read_text(dir / ".orrery/lock/owner").rfind(std::to_string(::getpid()) + " ", 0), 0u);
  }
  EXPECT_EQ(testing_support::list_files(dir / ".orrery"), std::vector<std::string>{});
}

TEST_F(LockTest, AFailureWhileTakingHandsTheTurnOnToTheNextThread) {
  fail_next_lock_staging_for_testing();
  EXPECT_THROW(RepoLock lock(dir.path()), std::runtime_error);
  EXPECT_EQ(testing_support::list_files(dir / ".orrery"), std::vector<std::string>{});
  std::thread([&] { EXPECT_NO_THROW(RepoLock lock(dir.path())); }).join();
}

// Waits about six seconds, as a writer does for a live holder.
TEST_F(LockTest, ReportsALiveHolderByPathAndProcess) {
  int release[2];
  const pid_t pid = hold_in_child(release);
  const std::string lock_path = dir / ".orrery/lock";
  try {
    RepoLock lock(dir.path());
    ADD_FAILURE() << "took a lock held by a live process";
  } catch (const RepositoryLocked& e) {
    EXPECT_EQ(e.lock_path(), lock_path);
    const std::string what = e.what();
    EXPECT_EQ(what.rfind("Repository is locked (another orrery process may be running): " +
                             lock_path + ", held by process " + std::to_string(pid) + " on ",
                         0),
              0u)
        << what;
  }
  ::close(release[1]);
  ::waitpid(pid, nullptr, 0);
}

// What killed writers left is removed once nobody can still be writing it.
TEST_F(LockTest, StaleTemporaryFilesGoAfterAnHour) {
  const std::string old_ref = dir / ".orrery/refs/tags/v1.tmp.123";
  const std::string old_lock = dir / ".orrery/lock.tmp.456";
  const std::string fresh = dir / ".orrery/refs/heads/main.tmp.789";
  write_file_atomic(old_ref, "x");
  write_file_atomic(old_lock + "/owner", "1 host\n");
  write_file_atomic(fresh, "x");
  const struct timespec hours_ago[2] = {{::time(nullptr) - 3700, 0}, {::time(nullptr) - 3700, 0}};
  for (const std::string& path : {old_ref, old_lock}) {
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), hours_ago, AT_SYMLINK_NOFOLLOW), 0);
  }
  EXPECT_EQ(remove_stale_temp_files(dir.path()), 2u);
  EXPECT_FALSE(path_exists(old_ref));
  EXPECT_FALSE(path_exists(old_lock));
  EXPECT_TRUE(path_exists(fresh));
}

}  // namespace
