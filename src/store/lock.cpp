#include "store/lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>
#include <utility>

#include "store/errors.h"
#include "store/fs.h"
#include "util/handles.h"

// Taking the lock: a directory .orrery/lock.tmp.<n> is made with the owner
// file in it, flocked and filled, and then renamed to .orrery/lock, which
// fails while a lock is there. A lock is therefore never seen without its
// owner file (unless an older orrery or a hand made it), and the kernel
// drops the owner's flock when the process dies, however it dies.
//
// Breaking an abandoned lock: whoever obtains the flock of its owner file
// renames the directory away and deletes it. Holding that flock keeps every
// other process from judging the same lock abandoned, so two of them cannot
// both break it and one delete the other's new lock. Releasing renames the
// lock away before deleting it too, so the path never names an empty
// directory that a rename could take over.

namespace {

// Lock directories this thread holds, with how many guards nest in each.
std::map<std::string, int>& held_locks() {
  thread_local std::map<std::string, int> locks;
  return locks;
}

// Threads of this process that want the lock of one root queue on its gate
// before they try the directory: only one of them polls it, and a release
// hands the lock on at once instead of after a retry's sleep. A gate lives
// while a thread holds or waits for it. A flag under one mutex rather than a
// timed mutex: ThreadSanitizer cannot follow a timed mutex's locking and
// would report every release as a fault.
struct Gate {
  bool busy = false;
  int users = 0;
  std::condition_variable freed;
};
std::mutex g_gates_mutex;
std::map<std::string, Gate> g_gates;  // by lock path; a map keeps its nodes in place

void leave_gate(std::map<std::string, Gate>::iterator gate) {
  if (--gate->second.users == 0) g_gates.erase(gate);
}

// False when another thread kept the gate for the whole wait.
bool pass_gate(const std::string& lock_path, std::chrono::seconds wait) {
  std::unique_lock lock(g_gates_mutex);
  auto gate = g_gates.try_emplace(lock_path).first;
  ++gate->second.users;
  const auto deadline = std::chrono::system_clock::now() + wait;
  if (!gate->second.freed.wait_until(lock, deadline, [&] { return !gate->second.busy; })) {
    leave_gate(gate);
    return false;
  }
  gate->second.busy = true;
  return true;
}

void release_gate(const std::string& lock_path) {
  std::lock_guard lock(g_gates_mutex);
  auto gate = g_gates.find(lock_path);
  gate->second.busy = false;
  gate->second.freed.notify_one();
  leave_gate(gate);
}

std::string host_name() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "?";
  return name;
}

std::string owner_text() { return std::to_string(::getpid()) + " " + host_name() + "\n"; }

std::string random_suffix() {
  thread_local std::mt19937_64 engine{std::random_device{}()};
  return std::to_string(engine());
}

thread_local bool t_fail_next_staging = false;

// The lock directory to be, with its owner file flocked and filled; empty
// (and `owner_fd` empty) when it cannot be made, and the lock is then taken
// by creating the directory alone.
std::string prepare_staging(const std::string& lock_path, UniqueFd& owner_fd) {
  if (std::exchange(t_fail_next_staging, false)) throw std::runtime_error("Staging failed");
  std::string staging = lock_path + ".tmp." + random_suffix();
  owner_fd.reset();
  if (::mkdir(staging.c_str(), 0777) != 0) return {};
  const std::string text = owner_text();
  UniqueFd fd(::open((staging + "/owner").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (fd.valid() && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0 &&
      ::write(fd.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size())) {
    owner_fd = std::move(fd);
    return staging;
  }
  fd.reset();
  remove_path(staging);
  return {};
}

// Takes the lock unless something is at its path already.
bool try_take(const std::string& lock_path, const std::string& staging) {
  if (staging.empty()) return ::mkdir(lock_path.c_str(), 0777) == 0;
  // A rename would replace an empty directory: a lock made by hand or by an
  // older orrery is respected by looking first.
  struct stat st;
  if (::lstat(lock_path.c_str(), &st) == 0) return false;
  return ::rename(staging.c_str(), lock_path.c_str()) == 0;
}

// Renames a lock directory out of the way and deletes it.
void discard(const std::string& lock_path, std::string_view why) {
  const std::string doomed = lock_path + "." + std::string(why) + ".tmp." + random_suffix();
  if (::rename(lock_path.c_str(), doomed.c_str()) == 0) remove_path(doomed);
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
  const UniqueFd owner_fd(::open(owner.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!owner_fd.valid()) return false;
  const int fd = owner_fd.get();
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
  discard(lock_path, "stale");
  return true;
}

std::string locked_message(const std::string& lock_path) {
  std::string text = "Repository is locked (another orrery process may be running): " + lock_path;
  Holder holder = read_holder(lock_path);
  if (holder.known) text += ", held by process " + holder.pid + " on " + holder.host;
  return text;
}

}  // namespace

void fail_next_lock_staging_for_testing() { t_fail_next_staging = true; }

RepoLock::RepoLock(const std::string& root) : path_(root + "/.orrery/lock") {
  auto nested = held_locks().find(path_);
  if (nested != held_locks().end()) {
    ++nested->second;
    return;
  }
  // About six seconds of waiting for each: long enough for another
  // thread's or process's short store write, short enough to report a lock
  // that stays.
  if (!pass_gate(path_, std::chrono::seconds(6))) {
    throw RepositoryLocked(locked_message(path_), path_);
  }
  // Whatever throws from here on must hand the gate on, or every later
  // lock of this root in the process would wait for it in vain.
  std::string staging;
  try {
    staging = prepare_staging(path_, owner_);
    for (int attempt = 0; attempt < 100; ++attempt) {
      if (try_take(path_, staging)) {
        held_locks()[path_] = 1;
        held_ = true;
        return;
      }
      if (break_if_abandoned(path_)) continue;
      std::this_thread::sleep_for(std::chrono::milliseconds(10 + attempt));
    }
    throw RepositoryLocked(locked_message(path_), path_);
  } catch (...) {
    owner_.reset();
    if (!staging.empty()) remove_path(staging);
    release_gate(path_);
    throw;
  }
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
  discard(path_, "free");
  owner_.reset();
  release_gate(path_);
}
