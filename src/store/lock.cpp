#include "store/lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <map>
#include <random>
#include <thread>

#include "store/errors.h"
#include "store/fs.h"

// Taking the lock: the owner file is written and flocked beside the lock
// first (.orrery/lock-owner.tmp.<n>), then the directory is created, then
// the owner file is renamed into it. A lock therefore either has no owner
// file yet (its holder is between the two steps, or an older orrery made
// it) or one whose flock is held for as long as the holder lives: the
// kernel drops the flock when the process dies, however it dies.
//
// Breaking an abandoned lock: whoever obtains the flock of its owner file
// renames the directory away and deletes it. Holding that flock keeps every
// other process from judging the same lock abandoned, so two of them cannot
// both break it and one delete the other's new lock.

namespace {

// Lock directories this process holds, with how many guards nest in each.
std::map<std::string, int>& held_locks() {
  static std::map<std::string, int> locks;
  return locks;
}

std::string host_name() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "?";
  return name;
}

std::string owner_text() { return std::to_string(::getpid()) + " " + host_name() + "\n"; }

std::string random_suffix() {
  static std::mt19937_64 engine{std::random_device{}()};
  return std::to_string(engine());
}

// The owner file, flocked and filled, beside the lock: -1 when it cannot be
// made, and the lock is then taken without one.
int prepare_owner_file(const std::string& lock_path, std::string& temp_path) {
  temp_path = lock_path + "-owner.tmp." + random_suffix();
  int fd = ::open(temp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  const std::string text = owner_text();
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
      ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    ::close(fd);
    ::unlink(temp_path.c_str());
    return -1;
  }
  return fd;
}

struct Holder {
  bool known = false;  // an owner file could be read
  std::string pid;
  std::string host;
};

Holder parse_owner(const std::string& text) {
  Holder holder;
  size_t space = text.find(' ');
  size_t end = text.find('\n');
  if (space == std::string::npos || end == std::string::npos || end < space) return holder;
  holder.known = true;
  holder.pid = text.substr(0, space);
  holder.host = text.substr(space + 1, end - space - 1);
  return holder;
}

Holder read_holder(const std::string& lock_path) {
  std::string text;
  try {
    if (!read_store_file(lock_path + "/owner", text)) return {};
  } catch (const std::exception&) {
    return {};
  }
  return parse_owner(text);
}

// Removes the lock when its owner ran here and is gone; true when it did.
bool break_if_abandoned(const std::string& lock_path) {
  const std::string owner = lock_path + "/owner";
  int fd = ::open(owner.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  char buffer[512];
  ssize_t n = ::read(fd, buffer, sizeof buffer);
  Holder holder = parse_owner(n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "");
  // Another host's process cannot be seen from here, and an flock over a
  // network file system proves nothing.
  if (!holder.known || holder.host != host_name()) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return false;  // the owner lives
  // Still the same lock? A fresh one has a new owner file.
  struct stat opened, current;
  if (::fstat(fd, &opened) != 0 || ::lstat(owner.c_str(), &current) != 0 ||
      opened.st_ino != current.st_ino || opened.st_dev != current.st_dev) {
    return false;
  }
  const std::string doomed = lock_path + ".stale.tmp." + random_suffix();
  if (::rename(lock_path.c_str(), doomed.c_str()) != 0) return false;
  remove_path(doomed);
  return true;
}

std::string locked_message(const std::string& lock_path) {
  std::string text = "Repository is locked (another orrery process may be running): " + lock_path;
  Holder holder = read_holder(lock_path);
  if (holder.known) text += ", held by process " + holder.pid + " on " + holder.host;
  return text;
}

}  // namespace

RepoLock::RepoLock(const std::string& root) : path_(root + "/.orrery/lock") {
  auto nested = held_locks().find(path_);
  if (nested != held_locks().end()) {
    ++nested->second;
    return;
  }
  std::string owner_temp;
  owner_fd_ = prepare_owner_file(path_, owner_temp);
  // About six seconds of waiting in all: long enough for another process's
  // short store write, short enough to report a lock that stays.
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (::mkdir(path_.c_str(), 0777) == 0) {
      if (owner_fd_ >= 0) ::rename(owner_temp.c_str(), (path_ + "/owner").c_str());
      held_ = true;
      held_locks()[path_] = 1;
      return;
    }
    if (break_if_abandoned(path_)) continue;
    std::this_thread::sleep_for(std::chrono::milliseconds(10 + attempt));
  }
  if (owner_fd_ >= 0) {
    ::unlink(owner_temp.c_str());
    ::close(owner_fd_);
  }
  throw RepositoryLocked(locked_message(path_), path_);
}

RepoLock::~RepoLock() {
  auto entry = held_locks().find(path_);
  if (!held_) {
    if (entry != held_locks().end() && --entry->second == 0) held_locks().erase(entry);
    return;
  }
  held_locks().erase(path_);
  // The directory goes before the flock: while the owner file can still be
  // found, its flock must say that its owner lives.
  const std::string owner = path_ + "/owner";
  ::unlink(owner.c_str());
  if (::rmdir(path_.c_str()) != 0) remove_path(path_);
  if (owner_fd_ >= 0) ::close(owner_fd_);
}
