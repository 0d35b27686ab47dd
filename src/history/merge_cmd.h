#pragma once

#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"
#include "store/object.h"

struct Repository;

struct MergeOptions {
  bool abort = false;
  std::string name;  // the branch or remote/branch merged in
};

Parsed<MergeOptions> parse_merge_args(const Args& args);

enum class MergeStatus {
  up_to_date,
  fast_forward,
  contained,
  merged,
  conflicts,
  aborted,
};

struct MergeResult {
  MergeStatus status = MergeStatus::up_to_date;
  ObjectId commit;                     // the new tip, for fast_forward and merged
  std::vector<std::string> conflicts;  // the conflicted paths
  std::string branch;                  // "refs/heads/…" that HEAD names
  std::string name;                    // as the options named it
};

// Merges the named branch into the current one, or (--abort) resets to HEAD
// and forgets the merge, holding the repository lock throughout. Throws
// CommandError, before writing anything, for a state, name or history that
// forbids the step.
MergeResult do_merge(const Repository& repo, const MergeOptions& opts);

// Answers the exit code.
int print_merge(const MergeResult& result);

// orrery merge <branch|remote/branch> | orrery merge --abort: fast-forwards
// the current branch, or merges the branch into it with a two-parent commit,
// or writes the conflicted files with markers and leaves .orrery/MERGE_HEAD
// until --abort resets to HEAD. Neither a fast-forward nor a merge commit
// touches the working tree or the index.
int cmd_merge(const Args& args);
