#include "worktree/scan.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include "store/codec.h"
#include "store/fs.h"
#include "store/tree_walk.h"
#include "worktree/internal/dir_walk.h"
#include "worktree/internal/tree_fold.h"
#include "worktree/working_stat.h"

// The scan compares three states in one pass each: HEAD's tree against the
// index (a walk of the tree that skips every subtree whose id shows it holds
// exactly the indexed files), the index against the working files (one stat
// per file; a file is read only when its stat differs from what the index
// recorded), and the walk of the working tree for files the index does not
// know. Renames are exact content matches found through hash maps keyed by
// blob id.

namespace {

using RenamePairs = std::vector<std::pair<std::string, std::string>>;

// The index's entries in order, gathered once: every pass below walks this
// vector instead of stepping through the map's nodes again.
using IndexEntries = std::vector<Index::const_iterator>;

// What HEAD's tree says of each index entry, and the HEAD paths the index
// lacks. Built during the tree walk itself: the walk yields paths nearly in
// index order, so most lookups are one comparison with the entry after the
// previous match, and no map of all HEAD paths is ever built.
struct HeadComparison {
  enum State : unsigned char { absent, same, changed };
  const IndexEntries& entries;
  std::vector<State> states;  // parallel to entries
  PathMap deleted;            // in HEAD, not in the index
};

size_t find_entry(const HeadComparison& cmp, size_t hint, const std::string& path) {
  if (hint < cmp.entries.size() && cmp.entries[hint]->first == path) return hint;
  auto it = std::lower_bound(
      cmp.entries.begin(), cmp.entries.end(), path,
      [](Index::const_iterator entry, const std::string& key) { return entry->first < key; });
  if (it == cmp.entries.end() || (*it)->first != path) return cmp.entries.size();
  return static_cast<size_t>(it - cmp.entries.begin());
}

// The id build_tree would give each directory of the index, found by
// hashing the trees without writing them.
std::unordered_map<std::string, ObjectId> index_tree_ids(const IndexEntries& entries,
                                                         ObjectId& root) {
  PathIds paths;
  paths.reserve(entries.size());
  for (Index::const_iterator it : entries) paths.emplace_back(it->first, it->second.hash);
  std::unordered_map<std::string, ObjectId> ids;
  std::string buffer;
  root = fold_trees(paths, "", [&](const std::string& dir, const std::vector<FoldEntry>& entries) {
    ObjectId id = hash_folded_tree(entries, buffer);
    ids.emplace(dir, id);
    return id;
  });
  return ids;
}

void mark_directory_same(HeadComparison& cmp, const std::string& dir) {
  const std::string prefix = dir + "/";
  auto it = std::lower_bound(
      cmp.entries.begin(), cmp.entries.end(), prefix,
      [](Index::const_iterator entry, const std::string& key) { return entry->first < key; });
  for (; it != cmp.entries.end() && (*it)->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    cmp.states[static_cast<size_t>(it - cmp.entries.begin())] = HeadComparison::same;
  }
}

// Trees name their contents by hash: a HEAD subtree whose id equals the tree
// the index would give that directory holds exactly the index's files there,
// so it is not read. A clean status reads no tree at all.
HeadComparison compare_with_head(const ObjectStore& store, const IndexEntries& entries,
                                 const std::optional<ObjectId>& head) {
  HeadComparison cmp{entries, {}, {}};
  cmp.states.assign(cmp.entries.size(), HeadComparison::absent);
  std::optional<Commit> commit = head ? read_commit(store, *head) : std::nullopt;
  if (!commit) return cmp;
  ObjectId index_root;
  const std::unordered_map<std::string, ObjectId> dir_ids = index_tree_ids(entries, index_root);
  if (index_root == commit->tree) {
    cmp.states.assign(cmp.entries.size(), HeadComparison::same);
    return cmp;
  }
  size_t hint = 0;
  // A path met twice in a damaged tree takes its later blob, as flattening does.
  walk_tree_selective(store, commit->tree, [&](const std::string& path, const TreeEntry& entry) {
    if (entry.type == "tree") {
      auto known = dir_ids.find(path);
      if (known == dir_ids.end() || known->second != entry.hash) return true;
      mark_directory_same(cmp, path);
      return false;
    }
    if (entry.type != "blob") return true;
    const size_t at = find_entry(cmp, hint, path);
    if (at == cmp.entries.size()) {
      cmp.deleted[path] = entry.hash;
      return true;
    }
    const bool same = cmp.entries[at]->second.hash == entry.hash;
    cmp.states[at] = same ? HeadComparison::same : HeadComparison::changed;
    hint = at + 1;
    return true;
  });
  return cmp;
}

void list_staged_changes(const HeadComparison& cmp, WorktreeStatus& out) {
  for (size_t i = 0; i < cmp.entries.size(); ++i) {
    if (cmp.states[i] == HeadComparison::absent) out.staged_new.push_back(cmp.entries[i]->first);
    if (cmp.states[i] == HeadComparison::changed) {
      out.staged_modified.push_back(cmp.entries[i]->first);
    }
  }
  for (const auto& [path, id] : cmp.deleted) out.staged_deleted.push_back(path);
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

void pair_staged_renames(const PathMap& head_deleted, const Index& index, WorktreeStatus& out) {
  std::unordered_map<std::string, std::string> deleted_by_id;
  for (const std::string& path : out.staged_deleted) deleted_by_id[head_deleted.at(path)] = path;
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

// An open directory, closed on every way out.
void compare_index_and_files(const std::string& root, const IndexEntries& entries,
                             Progress* progress, WorktreeStatus& out) {
  std::string path;
  std::string content;
  // Stat below a descriptor of the root, so the kernel walks only the
  // relative part of each path; without it, the full path.
  const UniqueFd root_dir = open_directory(root);
  const auto stat_entry = [&](const std::string& relative, WorkingStat& stat) {
    return root_dir.valid() ? stat_working_path_at(root_dir.get(), relative.c_str(), stat)
                            : stat_working_path(join_path(path, root, relative), stat);
  };
  for (Index::const_iterator it : entries) {
    const auto& [relative, entry] = *it;
    if (progress) progress->add_items();
    WorkingStat stat;
    if (!stat_entry(relative, stat)) {
      out.unstaged_deleted.push_back(relative);
      continue;
    }
    if (stat == WorkingStat{entry.size, entry.mtime, entry.mode}) continue;
    if (!read_file_into(join_path(path, root, relative), content)) {
      throw std::runtime_error("Cannot open file for reading: " + path);
    }
    if (blob_id(content) != entry.hash) out.unstaged_modified.push_back(relative);
  }
}

// The index's paths in a flat open-addressing table: the working-tree walk
// asks for every file whether the index has it, and one hash beats a dozen
// string comparisons down the map.
class IndexPathSet {
 public:
  explicit IndexPathSet(const IndexEntries& entries) {
    size_t capacity = 16;  // at most three quarters full
    while (capacity * 3 < entries.size() * 4) capacity *= 2;
    slots_.assign(capacity, nullptr);
    for (Index::const_iterator it : entries) {
      size_t i = slot_of(it->first);
      while (slots_[i] != nullptr) i = (i + 1) & (slots_.size() - 1);
      slots_[i] = &it->first;
    }
  }

  bool contains(std::string_view path) const {
    for (size_t i = slot_of(path);; i = (i + 1) & (slots_.size() - 1)) {
      if (slots_[i] == nullptr) return false;
      if (*slots_[i] == path) return true;
    }
  }

 private:
  size_t slot_of(std::string_view path) const {
    return std::hash<std::string_view>{}(path) & (slots_.size() - 1);
  }

  std::vector<const std::string*> slots_;
};

void collect_untracked(const std::string& root, const IgnoreRules& rules,
                       const IndexEntries& entries, Progress* progress, WorktreeStatus& out) {
  const IndexPathSet indexed(entries);
  // A walk error ends the walk; what was found before it stands.
  walk_directory(root, "", [&](const std::string& relative, WalkEntry kind) {
    if (kind == WalkEntry::directory) return !is_ignored(rules, relative, true);
    if (kind != WalkEntry::file || is_ignored(rules, relative, false)) return false;
    if (!indexed.contains(relative)) {
      out.untracked.push_back(relative);
      if (progress) progress->add_items();
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
                                       const std::optional<ObjectId>& head, Progress* progress) {
  WorktreeStatus status;
  IndexEntries entries;
  entries.reserve(index.size());
  for (auto it = index.begin(); it != index.end(); ++it) entries.push_back(it);
  const HeadComparison with_head = compare_with_head(store, entries, head);
  list_staged_changes(with_head, status);
  pair_staged_renames(with_head.deleted, index, status);
  compare_index_and_files(root, entries, progress, status);
  collect_untracked(root, rules, entries, progress, status);
  pair_unstaged_renames(root, index, status);
  return status;
}

bool is_dirty(const WorktreeStatus& status) {
  return !status.staged_new.empty() || !status.staged_modified.empty() ||
         !status.staged_deleted.empty() || !status.staged_renamed.empty() ||
         !status.unstaged_modified.empty() || !status.unstaged_deleted.empty() ||
         !status.unstaged_renamed.empty() || !status.untracked.empty();
}
