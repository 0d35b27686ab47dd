#include "worktree/working_stat.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

bool triple_from(int stat_result, const struct stat& st, WorkingStat& out) {
  out = {};
  if (stat_result != 0) return errno != ENOENT && errno != ENOTDIR;
  out = working_stat_of(st);
  return true;
}

}  // namespace

WorkingStat working_stat_of(const struct stat& st) {
  WorkingStat out;
  if (!S_ISREG(st.st_mode)) return out;
  out.size = static_cast<uint64_t>(st.st_size);
  // Whole seconds, truncated toward zero, on the 1601 epoch the index uses.
  out.mtime = static_cast<uint64_t>(static_cast<int64_t>(st.st_mtim.tv_sec) +
                                    static_cast<int64_t>(k_unix_epoch_in_1601_seconds));
  out.mode = (st.st_mode & S_IXUSR) ? 33261 : 33188;
  return out;
}

bool stat_working_path(const std::string& path, WorkingStat& out) {
  struct stat st;
  return triple_from(::stat(path.c_str(), &st), st, out);
}

bool stat_working_path_at(int dir_fd, const char* relative, WorkingStat& out) {
  struct stat st;
  return triple_from(::fstatat(dir_fd, relative, &st, 0), st, out);
}

WorkingStat stat_working_file(const std::string& path) {
  WorkingStat out;
  stat_working_path(path, out);
  return out;
}

UniqueFd open_directory(const std::string& path) {
  return UniqueFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}
