#include "history/worktree_files.h"

#include <unistd.h>

#include "history/internal/quiet_read.h"
#include "store/fs.h"
#include "store/repo.h"
#include "worktree/working_stat.h"

WorkingTreeWriter::WorkingTreeWriter(std::string root) : root_(std::move(root)) {}

bool WorkingTreeWriter::allows(std::string_view path) {
  if (!is_safe_tree_path(path)) return false;
  const std::string_view dir = path_dirname(path);
  if (dir.empty() || dir == checked_dir_) return true;
  // Only the directories below the one checked last need a look.
  size_t from = 0;
  if (!checked_dir_.empty() && dir.size() > checked_dir_.size() && dir.starts_with(checked_dir_) &&
      dir[checked_dir_.size()] == '/') {
    from = checked_dir_.size() + 1;
  }
  for (size_t end = dir.find('/', from);; end = dir.find('/', end + 1)) {
    if (is_symbolic_link(root_ + "/" + std::string(dir.substr(0, end)))) return false;
    if (end == std::string_view::npos) break;
  }
  checked_dir_.assign(dir);
  return true;
}

bool WorkingTreeWriter::write(std::string_view path, std::string_view content) {
  if (!allows(path)) return false;
  write_file_atomic(root_ + "/" + std::string(path), content);
  return true;
}

bool WorkingTreeWriter::remove(std::string_view path) {
  if (!allows(path)) return false;
  return ::unlink((root_ + "/" + std::string(path)).c_str()) == 0;
}

void write_path_map(const Repository& repo, const PathMap& files, const KnownFiles* known,
                    const std::set<std::string>& skip) {
  WorkingTreeWriter writer(repo.root);
  std::string full;
  for (const auto& [path, id] : files) {
    if (skip.count(path) || !writer.allows(path)) continue;
    full.assign(repo.root).append("/").append(path);
    if (known && is_known_equal(*known, path, full, id)) continue;
    if (std::optional<std::string> content = read_blob_quietly(repo.objects, id)) {
      writer.write(path, *content);
    }
  }
}

Index index_with_working_stats(const Repository& repo, const PathMap& files) {
  Index index;
  WorkingTreeWriter writer(repo.root);
  std::string full;
  for (const auto& [path, id] : files) {
    WorkingStat stat;
    if (writer.allows(path))
      stat = stat_working_file(full.assign(repo.root).append("/").append(path));
    index.emplace_hint(index.end(), path, IndexEntry{id, stat.size, stat.mtime, stat.mode});
  }
  return index;
}
