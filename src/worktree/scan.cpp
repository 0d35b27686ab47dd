#include "worktree/scan.h"

#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include "store/fs.h"
#include "store/tree_walk.h"
#include "worktree/internal/dir_walk.h"
#include "worktree/working_stat.h"

// The scan compares three states in one pass each: HEAD's flattened tree
// against the index (both ordered maps, so a merge walk), the index against
// the working files (one stat per file; a file is read only when its stat
// differs from what the index recorded), and the walk of the working tree
// for files the index does not know. Renames are exact content matches
// found through hash maps keyed by blob id.

namespace {

using RenamePairs = std::vector<std::pair<std::string, std::string>>;

PathMap head_tree_map(const ObjectStore& store, const std::optional<ObjectId>& head) {
  PathMap map;
  if (!head) return map;
  std::optional<Commit> commit = read_commit(store, *head);
  if (commit) flatten_tree(store, commit->tree, "", map);
  return map;
}

void compare_head_and_index(const PathMap& head, const Index& index, WorktreeStatus& out) {
  for (const auto& [path, entry] : index) {
    auto found = head.find(path);
    if (found == head.end()) {
      out.staged_new.push_back(path);
    } else if (found->second != entry.hash) {
      out.staged_modified.push_back(path);
    }
  }
  for (const auto& [path, id] : head) {
    if (!index.count(path)) out.staged_deleted.push_back(path);
  }
}

// Drops the paths that became the old side of a rename.
std::vector<std::string> without_old_paths(const std::vector<std::string>& paths,
                                           const RenamePairs& renames) {
  std::unordered_set<std::string> gone;
  for (const auto& [old_path, new_path] : renames) gone.insert(old_path);
  std::vector<std::string> kept;
  for (const std::string& path : paths) {
    if (!gone.count(path)) kept.push_back(path);
  }
  return kept;
}

void pair_staged_renames(const PathMap& head, const Index& index, WorktreeStatus& out) {
  std::unordered_map<std::string, std::string> deleted_by_id;
  for (const std::string& path : out.staged_deleted) deleted_by_id[head.at(path)] = path;
  std::vector<std::string> kept;
  for (const std::string& path : out.staged_new) {
    auto match = deleted_by_id.find(index.at(path).hash);
    if (match == deleted_by_id.end()) {
      kept.push_back(path);
      continue;
    }
    out.staged_renamed.emplace_back(match->second, path);
    deleted_by_id.erase(match);
  }
  out.staged_new = std::move(kept);
  out.staged_deleted = without_old_paths(out.staged_deleted, out.staged_renamed);
}

// root + "/" + relative in a buffer reused across calls.
const std::string& join_path(std::string& buffer, const std::string& root,
                             const std::string& relative) {
  buffer.assign(root).append("/").append(relative);
  return buffer;
}

void compare_index_and_files(const std::string& root, const Index& index, WorktreeStatus& out) {
  std::string path;
  std::string content;
  for (const auto& [relative, entry] : index) {
    WorkingStat stat;
    if (!stat_working_path(join_path(path, root, relative), stat)) {
      out.unstaged_deleted.push_back(relative);
      continue;
    }
    if (stat == WorkingStat{entry.size, entry.mtime, entry.mode}) continue;
    if (!read_file_into(path, content)) {
      throw std::runtime_error("Cannot open file for reading: " + path);
    }
    if (blob_id(content) != entry.hash) out.unstaged_modified.push_back(relative);
  }
}

void collect_untracked(const std::string& root, const IgnoreRules& rules, const Index& index,
                       WorktreeStatus& out) {
  // A walk error ends the walk; what was found before it stands.
  walk_directory(root, "", [&](const std::string& relative, WalkEntry kind) {
    if (kind == WalkEntry::directory) return !is_ignored(rules, relative, true);
    if (kind == WalkEntry::file && !is_ignored(rules, relative, false) && !index.count(relative)) {
      out.untracked.push_back(relative);
    }
    return false;
  });
}

void pair_unstaged_renames(const std::string& root, const Index& index, WorktreeStatus& out) {
  if (out.unstaged_deleted.empty() || out.untracked.empty()) return;
  std::unordered_map<std::string, std::string> deleted_by_id;
  for (const std::string& path : out.unstaged_deleted) deleted_by_id[index.at(path).hash] = path;
  std::vector<std::string> kept;
  std::string path;
  std::string content;
  for (const std::string& relative : out.untracked) {
    if (!read_file_into(join_path(path, root, relative), content)) {
      if (path_exists(path)) throw std::runtime_error("Cannot open file for reading: " + path);
      continue;
    }
    auto match = deleted_by_id.find(blob_id(content));
    if (match == deleted_by_id.end()) {
      kept.push_back(relative);
      continue;
    }
    out.unstaged_renamed.emplace_back(match->second, relative);
    deleted_by_id.erase(match);
  }
  out.untracked = std::move(kept);
  out.unstaged_deleted = without_old_paths(out.unstaged_deleted, out.unstaged_renamed);
}

}  // namespace

WorktreeStatus compute_worktree_status(const std::string& root, const ObjectStore& store,
                                       const IgnoreRules& rules, const Index& index,
                                       const std::optional<ObjectId>& head) {
  WorktreeStatus status;
  const PathMap head_map = head_tree_map(store, head);
  compare_head_and_index(head_map, index, status);
  pair_staged_renames(head_map, index, status);
  compare_index_and_files(root, index, status);
  collect_untracked(root, rules, index, status);
  pair_unstaged_renames(root, index, status);
  return status;
}

bool is_dirty(const WorktreeStatus& status) {
  return !status.staged_new.empty() || !status.staged_modified.empty() ||
         !status.staged_deleted.empty() || !status.staged_renamed.empty() ||
         !status.unstaged_modified.empty() || !status.unstaged_deleted.empty() ||
         !status.unstaged_renamed.empty() || !status.untracked.empty();
}
