#include "history/internal/stash_save.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "cli/command_error.h"
#include "history/worktree_files.h"
#include "store/fs.h"
#include "store/refs.h"
#include "store/repo.h"
#include "worktree/tree_builder.h"
#include "worktree/tree_writer.h"
#include "worktree/working_stat.h"

namespace {

// HEAD's files, checked whole (tree objects, names, no symlink on the way)
// before anything is written; none on an unborn branch.
PathMap head_files(const Repository& repo, const std::optional<ObjectId>& head) {
  PathMap files;
  if (!head) return files;
  std::optional<Commit> commit = read_commit(repo.objects, *head);
  if (!commit) throw std::runtime_error("Invalid commit object: " + *head);
  for (TreeFile& item : plan_tree_files(repo.objects, commit->tree, repo.root)) {
    if (!item.is_directory) files.emplace(std::move(item.path), std::move(item.id));
  }
  return files;
}

// Whether a regular file at `full` holds blob `id`.
bool holds_blob(const std::string& full, const ObjectId& id, std::string& buffer) {
  struct stat st;
  if (::lstat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return read_file_into(full, buffer) && blob_id(buffer) == id;
}

// The index with each entry's stat as its file has it now, every file
// checked against its blob (by stat when the entry's stat still matches,
// else by content); nothing when a tracked file is gone, not a regular file
// or differs. A file changed in the current second might change again
// unseen within it, so its stat is not kept.
std::optional<Index> verified_index(const Repository& repo, const Index& index) {
  const uint64_t now_1601 =
      static_cast<uint64_t>(std::time(nullptr)) + k_unix_epoch_in_1601_seconds;
  Index verified;
  std::string full, buffer;
  for (const auto& [path, entry] : index) {
    full.assign(repo.root).append("/").append(path);
    WorkingStat now;
    if (!stat_working_path(full, now) || now.mode == 0) return std::nullopt;
    const bool same_stat =
        now.size == entry.size && now.mtime == entry.mtime && now.mode == entry.mode;
    if (!same_stat && !holds_blob(full, entry.hash, buffer)) return std::nullopt;
    const bool settled = now.mtime + 1 < now_1601;
    verified.emplace_hint(verified.end(), path,
                          settled ? IndexEntry{entry.hash, now.size, now.mtime, now.mode}
                                  : IndexEntry{entry.hash, 0, 0, 0});
  }
  return verified;
}

// Whether writing HEAD's files would replace something the index does not
// hold: a file that is not HEAD's, a directory, or whatever blocks a path.
bool overwrites_untracked(const Repository& repo, const Index& index, const PathMap& head) {
  std::string full, buffer;
  for (const auto& [path, id] : head) {
    if (index.count(path)) continue;
    full.assign(repo.root).append("/").append(path);
    struct stat st;
    if (::lstat(full.c_str(), &st) != 0) {
      if (errno == ENOENT) continue;
      return true;
    }
    if (!holds_blob(full, id, buffer)) return true;
  }
  return false;
}

ObjectId write_entry(const Repository& repo, const Index& index,
                     const std::optional<ObjectId>& head, const std::string& message) {
  ObjectWriteBatch batch(repo.objects);
  PathMap staged;
  for (const auto& [path, entry] : index) staged.emplace_hint(staged.end(), path, entry.hash);
  Commit entry{build_tree(repo.objects, staged, ""),
               {},
               "orrery",
               "стэш: " + message,
               static_cast<uint64_t>(std::time(nullptr))};
  if (head) entry.parents.push_back(*head);
  std::optional<std::string> top = read_ref(repo.root, "refs/stash");
  if (top && is_object_id(*top)) entry.parents.push_back(*top);
  return write_object(repo.objects, "commit", serialize_commit(entry));
}

void remove_empty_parents(const std::string& root, std::string_view path) {
  for (std::string_view dir = path_dirname(path); !dir.empty(); dir = path_dirname(dir)) {
    if (::rmdir((root + "/" + std::string(dir)).c_str()) != 0) return;
  }
}

// Makes the tracked files and the index equal HEAD. Every tracked file
// holds its index blob (verified), so only the paths whose blob differs
// from HEAD's are written. Files HEAD lacks go first, so a directory can
// give way to a file of the same name.
void reset_tracked_files(const Repository& repo, const Index& verified, const PathMap& head) {
  WorkingTreeWriter writer(repo.root);
  for (const auto& [path, entry] : verified) {
    if (!head.count(path) && writer.remove(path)) remove_empty_parents(repo.root, path);
  }
  PathMap changed;
  Index next;
  for (const auto& [path, id] : head) {
    auto old = verified.find(path);
    if (old != verified.end() && old->second.hash == id) {
      next.emplace_hint(next.end(), path, old->second);
    } else {
      changed.emplace_hint(changed.end(), path, id);
      next.emplace_hint(next.end(), path, IndexEntry{id, 0, 0, 0});
    }
  }
  write_path_map(repo, changed, nullptr);
  save_index(repo, next);
}

}  // namespace

ObjectId save_stash(const Repository& repo, const std::string& message) {
  const Index index = load_index(repo);
  const std::optional<ObjectId> head = head_commit(repo);
  PathMap files;
  try {
    files = head_files(repo, head);
  } catch (const std::runtime_error& e) {
    throw CommandError(e.what(), "");
  }
  std::optional<Index> verified = verified_index(repo, index);
  if (!verified || overwrites_untracked(repo, index, files)) {
    throw CommandError("stash: есть неподготовленные изменения",
                       "добавь их (orrery add …) или верни (orrery restore …)");
  }
  const ObjectId id = write_entry(repo, index, head, message);
  update_ref(repo, "refs/stash", id);
  reset_tracked_files(repo, *verified, files);
  return id;
}
