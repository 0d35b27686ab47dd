#include "worktree/working_stat.h"

#include <sys/stat.h>

#include <cerrno>

bool stat_working_path(const std::string& path, WorkingStat& out) {
  out = {};
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return errno != ENOENT && errno != ENOTDIR;
  if (!S_ISREG(st.st_mode)) return true;
  out.size = static_cast<uint64_t>(st.st_size);
  // Whole seconds, truncated toward zero, on the 1601 epoch the index uses.
  out.mtime = static_cast<uint64_t>(static_cast<int64_t>(st.st_mtim.tv_sec) +
                                    static_cast<int64_t>(k_unix_epoch_in_1601_seconds));
  out.mode = (st.st_mode & S_IXUSR) ? 33261 : 33188;
  return true;
}

WorkingStat stat_working_file(const std::string& path) {
  WorkingStat out;
  stat_working_path(path, out);
  return out;
}
