#include "store/repo.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "cli/console.h"
#include "store/fs.h"

Repository::Repository(std::string root_dir) : root(std::move(root_dir)), objects(root) {}

std::string orrery_path(const std::string& root, std::string_view relative) {
  std::string path = root;
  path.append("/.orrery/").append(relative);
  return path;
}

RepoLock::RepoLock(const std::string& root) : path_(orrery_path(root, "lock")) {
  // About six seconds of waiting in all: long enough for another process's
  // short store write, short enough to report a lock left by a killed one.
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (::mkdir(path_.c_str(), 0777) == 0) {
      held_ = true;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10 + attempt));
  }
  throw std::runtime_error("Repository is locked (another orrery process may be running)");
}

RepoLock::~RepoLock() {
  if (held_) remove_path(path_);
}

std::string find_repo_root(const std::string& start) {
  std::string current = start;
  for (;;) {
    if (path_exists(current + "/.orrery")) return current;
    while (current.size() > 1 && current.back() == '/') current.pop_back();
    std::string parent(path_dirname(current));
    if (parent.empty() || parent == current) return start;
    current = parent;
  }
}

bool is_initialized(const std::string& root) {
  return path_exists(root + "/.orrery") && path_exists(orrery_path(root, "HEAD"));
}

void create_repository(const Repository& repo) {
  RepoLock lock(repo.root);
  for (const char* dir :
       {"", "objects", "refs/heads", "refs/tags", "refs/remotes/origin", "logs"}) {
    ensure_directory(orrery_path(repo, dir));
  }
  write_file_atomic(orrery_path(repo, "version"), "1\n");
  write_file_atomic(orrery_path(repo, "HEAD"), "ref: refs/heads/main\n");
}

std::optional<Repository> open_repo_or_report() {
  std::string root = find_repo_root(current_directory());
  if (!path_exists(root + "/.orrery")) {
    print_error("не найден репозиторий orrery",
                "запусти 'orrery init' (нет .orrery в текущем или родительских каталогах)");
    return std::nullopt;
  }
  return Repository(root);
}
