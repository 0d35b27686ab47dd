#include "store/repo.h"

#include <sys/stat.h>

#include <ctime>
#include <filesystem>

#include "store/fs.h"
#include "store/refs.h"

Repository::Repository(std::string root_dir) : root(std::move(root_dir)), objects(root) {}

std::string orrery_path(const std::string& root, std::string_view relative) {
  std::string path = root;
  path.append("/.orrery/").append(relative);
  return path;
}

std::string packs_directory(const std::string& root) { return orrery_path(root, "packs"); }

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

size_t remove_stale_temp_files(const std::string& root) {
  namespace fs = std::filesystem;
  constexpr time_t k_min_age_seconds = 3600;
  RepoLock lock(root);
  const time_t now = std::time(nullptr);
  std::vector<fs::path> doomed;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(orrery_path(root, ""), ec);
       !ec && it != fs::end(it); it.increment(ec)) {
    if (!is_temp_file_name(it->path().filename().string())) continue;
    struct stat st;
    if (::lstat(it->path().c_str(), &st) != 0 || now - st.st_mtime < k_min_age_seconds) continue;
    doomed.push_back(it->path());
    it.disable_recursion_pending();
  }
  size_t removed = 0;
  for (const fs::path& path : doomed) removed += remove_path(path.string()) ? 1 : 0;
  return removed;
}
