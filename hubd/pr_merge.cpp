#include "hubd/pr_merge.h"

#include "history/merge_base.h"
#include "history/path_merge.h"
#include "hubd/store_gate.h"
#include "store/repo.h"
#include "worktree/tree_builder.h"

// The hub has no working tree: merges run on trees alone. A path the
// client could not check out (".orrery", "..") is merged like any other,
// since the hub writes no file for it and the client refuses it itself.

namespace {

struct Merger {
  const Repository& repo;
  std::vector<std::string>& conflicts;

  Commit read(const ObjectId& id) const {
    std::optional<Commit> commit = read_commit(repo.objects, id);
    if (!commit) throw std::runtime_error("Missing commit " + id);
    return *commit;
  }

  // The tree of three-way merging `theirs` into `ours` over `base`;
  // nothing after recording the conflicts.
  std::optional<ObjectId> merge(const ObjectId& base, const ObjectId& ours,
                                const ObjectId& theirs) const {
    TreeMerge merged = merge_trees(repo.objects, base, ours, theirs, UnsafePaths::keep);
    if (!merged.conflicts.empty()) {
      conflicts = std::move(merged.conflicts);
      return std::nullopt;
    }
    return build_tree(repo.objects, merged.merged, "");
  }

  ObjectId write(const Commit& commit) const {
    return write_object(repo.objects, "commit", serialize_commit(commit));
  }

  // The head's first-parent commits after the merge base, oldest first;
  // nothing when that chain ends before reaching the base (the base came in
  // through a second parent), since replaying to the root would repeat what
  // the base branch already has.
  std::optional<std::vector<ObjectId>> commits_to_replay(const ObjectId& head,
                                                         const ObjectId& base) const {
    std::vector<ObjectId> chain;
    for (ObjectId at = head; at != base;) {
      chain.push_back(at);
      Commit commit = read(at);
      if (commit.parents.empty()) return std::nullopt;
      at = commit.parents.front();
    }
    return std::vector<ObjectId>(chain.rbegin(), chain.rend());
  }

  std::optional<ObjectId> rebase(const ObjectId& base_tip,
                                 const std::vector<ObjectId>& todo) const {
    ObjectId tip = base_tip;
    ObjectId tip_tree = read(base_tip).tree;
    for (const ObjectId& id : todo) {
      Commit commit = read(id);
      const ObjectId parent_tree =
          commit.parents.empty() ? ObjectId() : read(commit.parents.front()).tree;
      std::optional<ObjectId> tree = merge(parent_tree, tip_tree, commit.tree);
      if (!tree) return std::nullopt;
      commit.tree = *tree;
      commit.parents = {tip};
      tip = write(commit);
      tip_tree = *tree;
    }
    return tip;
  }
};

}  // namespace

std::optional<MergeMethod> parse_merge_method(std::string_view name) {
  if (name == "merge") return MergeMethod::merge;
  if (name == "squash") return MergeMethod::squash;
  if (name == "rebase") return MergeMethod::rebase;
  return std::nullopt;
}

PullRequestMerge merge_pull_request(const std::string& root, const ObjectId& base_tip,
                                    const ObjectId& head, MergeMethod method,
                                    const MergeCommitInfo& info) {
  PullRequestMerge result;
  Repository repo(root);
  ObjectWriteBatch batch(repo.objects);
  Merger merger{repo, result.conflicts};
  const std::optional<ObjectId> base = merge_base(repo, base_tip, head);
  if (!base) {
    result.outcome = MergeOutcome::unrelated;
    return result;
  }
  if (method == MergeMethod::rebase) {
    std::optional<std::vector<ObjectId>> todo = merger.commits_to_replay(head, *base);
    if (!todo) {
      result.outcome = MergeOutcome::not_linear;
      return result;
    }
    result.tip = merger.rebase(base_tip, *todo);
  } else if (std::optional<ObjectId> tree = merger.merge(
                 merger.read(*base).tree, merger.read(base_tip).tree, merger.read(head).tree)) {
    std::vector<ObjectId> parents{base_tip};
    if (method == MergeMethod::merge) parents.push_back(head);
    result.tip = merger.write({*tree, parents, info.author, info.message, info.timestamp});
  }
  if (!result.tip) {
    result.outcome = MergeOutcome::conflict;
    return result;
  }
  flush_pending_objects();  // here, so that a failing write is reported
  return result;
}
