#include "history/pick.h"

#include <algorithm>
#include <ctime>
#include <ostream>

#include "cli/command_error.h"
#include "history/internal/command_steps.h"
#include "history/internal/quiet_read.h"
#include "history/path_merge.h"
#include "history/worktree_files.h"
#include "store/fs.h"
#include "store/refs.h"
#include "store/repo.h"
#include "worktree/commit.h"
#include "worktree/tree_builder.h"
#include "worktree/working_stat.h"

// A pick that merges cleanly is followed by a checkout of its commit, which
// writes every file the index cannot prove to hold its blob, and by an index
// rewrite that records every file's stat. Both are done here in one pass
// with one stat per file; files the pick wrote need no proof, and when this
// process wrote the index itself a moment ago, unchanged files need no stat
// either.

namespace {

// The three trees of a pick; nothing when K cannot be picked that way.
struct PickTrees {
  ObjectId base;
  ObjectId ours;
  ObjectId theirs;
};

ObjectId tree_of(const ObjectStore& store, const std::optional<ObjectId>& commit) {
  if (!commit) return {};
  std::optional<Commit> parsed = read_commit_quietly(store, *commit);
  return parsed ? parsed->tree : ObjectId();
}

std::optional<PickTrees> pick_trees(const ObjectStore& store, const Commit& picked,
                                    const std::optional<ObjectId>& head, PickKind kind) {
  std::optional<ObjectId> parent;
  if (!picked.parents.empty()) parent = picked.parents.front();
  if (kind == PickKind::revert && !parent) return std::nullopt;
  const ObjectId parent_tree = tree_of(store, parent);
  const ObjectId head_tree = tree_of(store, head);
  if (kind == PickKind::cherry_pick) return PickTrees{parent_tree, head_tree, picked.tree};
  return PickTrees{picked.tree, head_tree, parent_tree};
}

// HEAD's files as the index lists them, when the index describes HEAD's
// tree exactly: hashing the trees the index would make is cheaper than
// reading HEAD's, and leaves their ids for building the new tree.
std::optional<PathMap> files_from_index(const Index& index, const ObjectId& tree, TreeIds& trees) {
  PathMap files;
  for (const auto& [path, entry] : index) {
    if (!is_safe_tree_path(path)) return std::nullopt;
    files.emplace_hint(files.end(), path, entry.hash);
  }
  trees.clear();
  if (tree.empty() || hash_tree(files, trees) != tree) {
    trees.clear();
    return std::nullopt;
  }
  return files;
}

void write_changes(const Repository& repo, const TreeMerge& merge, PickResult& result) {
  WorkingTreeWriter writer(repo.root);
  for (const std::string& path : merge.changed) {
    if (merge.unsafe.count(path)) continue;
    std::optional<std::string> content = read_blob_quietly(repo.objects, merge.merged.at(path));
    if (content && writer.write(path, *content)) result.written.push_back(path);
  }
  for (const std::string& path : merge.removed) writer.remove(path);
}

ObjectId write_pick_commit(const Repository& repo, const ObjectId& tree,
                           const std::optional<ObjectId>& head, const std::string& message) {
  Commit made;
  made.tree = tree;
  if (head) made.parents.push_back(*head);
  made.author = environment_author();
  made.message = message;
  made.timestamp = static_cast<uint64_t>(std::time(nullptr));
  return write_object(repo.objects, "commit", serialize_commit(made));
}

// The index entry of one file of the checked-out commit, given what the
// index said of it; writes the file first when nothing shows it holds its
// blob. Nothing for an unreadable blob.
std::optional<IndexEntry> settle_file(const Repository& repo, const WorkingState& state,
                                      const UniqueFd& root, const std::string& path,
                                      const ObjectId& blob, bool written, const IndexEntry* old,
                                      std::string& full) {
  const bool recorded = old && old->hash == blob;
  if (!written && recorded && state.trusted) return *old;
  full.assign(repo.root).append("/").append(path);
  WorkingStat now;
  if (!root.valid()) {
    now = stat_working_file(full);
  } else {
    stat_working_path_at(root.get(), path.c_str(), now);
  }
  const bool proven = recorded && old->mtime < state.known.index_mtime && now.mode != 0 &&
                      now.size == old->size && now.mtime == old->mtime && now.mode == old->mode;
  if (!written && !proven) {
    std::optional<std::string> content = read_blob_quietly(repo.objects, blob);
    if (!content) return std::nullopt;
    write_file_atomic(full, *content);
    now = stat_working_file(full);
  }
  return IndexEntry{blob, now.size, now.mtime, now.mode};
}

bool contains(const std::vector<std::string>& sorted, const std::string& path) {
  return std::binary_search(sorted.begin(), sorted.end(), path);
}

// The new index: the old one with every file of the pick settled, or only
// the pick's changes when `state` vouches for the rest. Old entries are
// updated in place rather than copied.
std::optional<Index> settle_files(const Repository& repo, const PickResult& pick,
                                  WorkingState& state, ObjectId& missing) {
  Index index = std::move(state.known.index);
  std::string full;
  // Stat below the root, so the kernel walks only the path inside it.
  const UniqueFd root = open_directory(repo.root);
  const auto settle = [&](const std::string& path, const ObjectId& blob, const IndexEntry* old) {
    std::optional<IndexEntry> entry =
        settle_file(repo, state, root, path, blob, contains(pick.written, path), old, full);
    if (!entry) missing = blob;
    return entry;
  };
  if (state.trusted) {
    for (const std::string& path : pick.removed) index.erase(path);
    for (const std::string& path : pick.changed) {
      std::optional<IndexEntry> entry = settle(path, pick.files.at(path), nullptr);
      if (!entry) return std::nullopt;
      index.insert_or_assign(path, std::move(*entry));
    }
    return index;
  }
  auto it = index.begin();
  for (const auto& [path, blob] : pick.files) {
    while (it != index.end() && it->first < path) it = index.erase(it);
    const bool listed = it != index.end() && it->first == path;
    std::optional<IndexEntry> entry = settle(path, blob, listed ? &it->second : nullptr);
    if (!entry) return std::nullopt;
    if (listed) {
      (it++)->second = std::move(*entry);
    } else {
      index.emplace_hint(it, path, std::move(*entry));
    }
  }
  index.erase(it, index.end());
  return index;
}

void forget_directories_above(TreeIds& trees, std::string_view path) {
  for (;;) {
    path = path_dirname(path);
    trees.erase(std::string(path));
    if (path.empty()) return;
  }
}

bool all_writable(const Repository& repo, const PathMap& files) {
  WorkingTreeWriter writer(repo.root);
  return std::all_of(files.begin(), files.end(),
                     [&](const auto& entry) { return writer.allows(entry.first); });
}

}  // namespace

WorkingState load_working_state(const Repository& repo) {
  WorkingState state;
  state.known = load_known_files(repo);
  return state;
}

std::string pick_message(PickKind kind, const ObjectId& picked, const std::string& message) {
  return std::string(kind == PickKind::cherry_pick ? "cherry-pick " : "revert ") +
         picked.substr(0, 8) + ": " + message;
}

PickResult pick_commit(const Repository& repo, const ObjectId& picked, PickKind kind,
                       WorkingState& state) {
  PickResult result;
  std::optional<Commit> commit = read_commit_quietly(repo.objects, picked);
  if (!commit) return result;
  const std::optional<ObjectId> head = head_commit(repo);
  std::optional<PickTrees> trees = pick_trees(repo.objects, *commit, head, kind);
  if (!trees) return result;

  ObjectWriteBatch batch(repo.objects);
  std::optional<PathMap> ours_files;
  if (state.head && state.head == head) {
    ours_files = std::move(state.files);
  } else {
    ours_files = files_from_index(state.known.index, trees->ours, state.trees);
  }
  state.head.reset();
  TreeMerge merge = merge_trees(repo.objects, trees->base, trees->ours, trees->theirs,
                                UnsafePaths::keep, std::move(ours_files));
  result.success = true;
  if (!merge.conflicts.empty()) {
    write_path_map(repo, merge.merged, &state.known, merge.unsafe);
    result.conflicts = std::move(merge.conflicts);
    return result;
  }
  write_changes(repo, merge, result);
  for (const auto* paths : {&merge.changed, &merge.removed}) {
    for (const std::string& path : *paths) forget_directories_above(state.trees, path);
  }
  const ObjectId tree = build_tree_reusing(repo.objects, merge.merged, state.trees);
  result.commit = write_pick_commit(repo, tree, head, pick_message(kind, picked, commit->message));
  result.writable = merge.unsafe.empty();
  result.files = std::move(merge.merged);
  result.changed = std::move(merge.changed);
  result.removed = std::move(merge.removed);
  return result;
}

std::string check_out_pick(const Repository& repo, const std::string& branch, PickResult& pick,
                           WorkingState& state) {
  if (!pick.writable || (!state.trusted && !all_writable(repo, pick.files))) {
    state = load_working_state(repo);
    return check_out_and_index(repo, branch, pick.files);
  }
  ObjectId missing;
  std::optional<Index> index = settle_files(repo, pick, state, missing);
  if (!index) {
    state = load_working_state(repo);
    throw CommandError("Missing blob " + missing, "");
  }
  save_index(repo, *index);
  state.known.index = std::move(*index);
  state.known.index_mtime = 0;  // proves nothing: `trusted` vouches for the entries
  state.trusted = true;
  state.head = pick.commit;
  state.files = std::move(pick.files);
  return switched_line(branch);
}
