#pragma once

#include <string>

#include "util/handles.h"

// The repository-wide write lock: the directory .orrery/lock, created
// atomically, holding a file "owner" with "<pid> <host>\n" on which the
// holder keeps an flock for as long as it holds the lock. A lock whose owner
// ran on this host and whose flock is free was left by a process that died:
// it is removed and taken. Any other lock is waited for during up to 100
// attempts (about six seconds), then RepositoryLocked is thrown, naming the
// lock and its holder. Released on destruction.
//
// Re-entrant within a thread: a guard taken while the same thread already
// holds the lock of that root only nests, so a command may hold the lock
// across a read-modify-write whose store writes take it again. Other
// threads of the process queue for it in turn (up to about six seconds)
// before they wait for the directory as another process would.
class RepoLock {
 public:
  explicit RepoLock(const std::string& root);
  ~RepoLock();
  RepoLock(const RepoLock&) = delete;
  RepoLock& operator=(const RepoLock&) = delete;

 private:
  std::string path_;
  bool held_ = false;  // this guard took the lock; a nested one did not
  UniqueFd owner_;  // the owner file, whose flock says the holder lives
};

// The next lock this thread prepares throws while it holds the process's
// turn for that root, as a failed allocation would.
void fail_next_lock_staging_for_testing();
