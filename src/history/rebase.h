#pragma once

#include <string>

#include "cli/console.h"
#include "cli/parsed.h"

struct RebaseOptions {
  bool abort = false;
  bool resume = false;  // --continue
  bool usage = false;   // not one upstream: the handler shows the help
  std::string upstream;
};

Parsed<RebaseOptions> parse_rebase_args(const Args& args);

// orrery rebase <upstream> | --continue | --abort: moves the current branch
// onto the upstream and replays, oldest first, the commits between HEAD and
// the merge base along first parents, each as a cherry-pick. Progress lives
// in .orrery/rebase-merge/ so that a conflict can be resolved and the rebase
// continued, or the whole rebase undone; a rebase killed at any point can be
// finished either way too.
int cmd_rebase(const Args& args);
