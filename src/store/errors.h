#pragma once

#include <stdexcept>
#include <string>

// The two failures of the store that a command cannot cause by its input
// and the user must repair by hand, each a type of its own so that the
// dispatcher (or a command with words of its own) can catch it by name.

// Something read from .orrery is not what this program writes: an object
// whose header, compression or JSON is broken, a reference or HEAD that
// names no commit in the expected form, an index or configuration that does
// not parse, a special file where a regular one belongs. The English text
// names the object id or the file.
class RepositoryDamaged : public std::runtime_error {
 public:
  explicit RepositoryDamaged(const std::string& what) : std::runtime_error(what) {}
};

// The repository lock is held by a live process, one on another host, or
// one that left no owner behind. `lock_path()` is the lock directory, which
// the user may remove once no orrery process runs.
class RepositoryLocked : public std::runtime_error {
 public:
  RepositoryLocked(const std::string& what, std::string lock_path);
  const std::string& lock_path() const { return lock_path_; }

 private:
  std::string lock_path_;
};

// A short id that the ids of several objects start with. `prefix()` is the
// short id as typed.
class AmbiguousShortId : public std::runtime_error {
 public:
  explicit AmbiguousShortId(const std::string& prefix)
      : std::runtime_error("Ambiguous short id: " + prefix), prefix_(prefix) {}
  const std::string& prefix() const { return prefix_; }

 private:
  std::string prefix_;
};
