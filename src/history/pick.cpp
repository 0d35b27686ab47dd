#include "history/pick.h"

#include <ctime>

#include "history/internal/quiet_read.h"
#include "history/path_merge.h"
#include "history/worktree_files.h"
#include "store/refs.h"
#include "store/repo.h"
#include "worktree/commit.h"
#include "worktree/tree_builder.h"
#include "worktree/tree_writer.h"

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

}  // namespace

std::string pick_message(PickKind kind, const ObjectId& picked, const std::string& message) {
  return std::string(kind == PickKind::cherry_pick ? "cherry-pick " : "revert ") +
         picked.substr(0, 8) + ": " + message;
}

PickResult pick_commit(const Repository& repo, const ObjectId& picked, PickKind kind) {
  PickResult result;
  std::optional<Commit> commit = read_commit_quietly(repo.objects, picked);
  if (!commit) return result;
  const std::optional<ObjectId> head = head_commit(repo);
  std::optional<PickTrees> trees = pick_trees(repo.objects, *commit, head, kind);
  if (!trees) return result;

  ObjectWriteBatch batch(repo.objects);
  TreeMerge merge =
      merge_trees(repo.objects, trees->base, trees->ours, trees->theirs, UnsafePaths::keep);
  KnownFiles known = load_known_files(repo);
  write_path_map(repo, merge.merged, &known, merge.unsafe);
  result.success = true;
  if (!merge.conflicts.empty()) {
    result.conflicts = std::move(merge.conflicts);
    return result;
  }
  WorkingTreeWriter writer(repo.root);
  for (const std::string& path : merge.removed) writer.remove(path);

  Commit made;
  made.tree = build_tree(repo.objects, merge.merged, "");
  if (head) made.parents.push_back(*head);
  made.author = environment_author();
  made.message = pick_message(kind, picked, commit->message);
  made.timestamp = static_cast<uint64_t>(std::time(nullptr));
  result.commit = write_object(repo.objects, "commit", serialize_commit(made));
  result.files = std::move(merge.merged);
  return result;
}
