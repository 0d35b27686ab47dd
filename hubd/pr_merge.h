#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/object.h"

// The commits that merge a pull request, made on the hub in the bare
// repository with the project's merge engine. Nothing here moves a branch:
// the caller moves the base branch with a compare-and-swap from the tip the
// merge started at.

enum class MergeMethod {
  merge,   // a commit with the base tip as first parent and the head as second
  squash,  // one commit on the base tip with the merged tree
  rebase,  // the head's first-parent commits replayed on the base tip
};

std::optional<MergeMethod> parse_merge_method(std::string_view name);

struct MergeCommitInfo {
  std::string author;
  std::string message;  // for the merge and squash commits; rebase keeps each commit's own
  uint64_t timestamp = 0;
};

enum class MergeOutcome {
  merged,
  conflict,    // a path the merge engine cannot merge on its own
  unrelated,   // the head and the base tip share no commit
  not_linear,  // rebase: the merge base is not on the head's first-parent chain
};

struct PullRequestMerge {
  MergeOutcome outcome = MergeOutcome::merged;
  std::optional<ObjectId> tip;         // the new base tip, when merged
  std::vector<std::string> conflicts;  // the paths that stopped it, on a conflict
};

// Writes the commits that bring `head` into `base_tip` by `method`; on any
// outcome but `merged` no tip is given (objects already written stay as
// unreferenced garbage). Throws what the store throws on a failing disk.
PullRequestMerge merge_pull_request(const std::string& root, const ObjectId& base_tip,
                                    const ObjectId& head, MergeMethod method,
                                    const MergeCommitInfo& info);
