#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"
#include "store/object.h"

struct Repository;

struct RebaseOptions {
  bool abort = false;
  bool resume = false;  // --continue
  std::string upstream;
};

// One upstream, --continue or --abort; the help text for any other count of
// upstreams.
Parsed<RebaseOptions> parse_rebase_args(const Args& args);

enum class RebaseStatus { done, up_to_date, conflicts, aborted };

struct RebaseResult {
  RebaseStatus status = RebaseStatus::done;
  ObjectId stopped_at;                 // conflicts: the commit whose pick conflicted
  std::vector<std::string> conflicts;  // ascending
};

// rebase <upstream> | --continue | --abort: moves the current branch onto
// the upstream and replays, oldest first, the commits between HEAD and the
// merge base along first parents, each as a cherry-pick. Progress lives in
// .orrery/rebase-merge/ so that a conflict can be resolved and the rebase
// continued, or the whole rebase undone; a rebase killed at any point can
// be finished either way too. Writes checkout's line for every step to
// `out` as the step is made. Throws CommandError for a state or name that
// forbids the step (before writing anything when it forbids the start).
RebaseResult do_rebase(const Repository& repo, const RebaseOptions& opts, std::ostream& out);

// Reports the conflict or the last line; answers the exit code.
int print_rebase(const RebaseResult& result);

int cmd_rebase(const Args& args);
