#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"
#include "cli/progress.h"
#include "net/fetch.h"

struct Repository;

// orrery pull [--ff-only|--rebase] [<remote|url> <branch>]: fetches the
// current branch's upstream, then brings the current branch up to it: a
// fast-forward (or creation) followed by a checkout, else a merge or, with
// --rebase, a rebase onto the tracking reference, each reported as its own
// command reports it.
int cmd_pull(const Args& args);

enum class Integration { merge, rebase, ff_only };

struct PullOptions {
  Integration integration = Integration::merge;
  std::vector<std::string> positionals;  // none, or <remote|url> <branch>
};

// The options of cmd_pull's arguments: an unknown flag, both modes, or a
// count of positionals other than none or two is an error. Prints nothing.
Parsed<PullOptions> parse_pull_args(const Args& args);

// Where the current branch stands against the fetched tracking reference.
enum class PullOutcome { up_to_date, fast_forward, created, diverged };

struct PullResult {
  std::string branch;    // the current branch
  std::string upstream;  // "<remote>/<branch>"
  PullOutcome outcome = PullOutcome::up_to_date;
};

// Fetches the upstream, handing the fetch's result to `fetched` at once,
// and compares the current branch with it, moving the branch itself for a
// fast-forward or creation. Throws CommandError for a detached HEAD, a name
// that may not become a reference, a failed fetch, or a diverged history
// under --ff-only. Prints nothing but the transfer's progress.
PullResult do_pull(const Repository& repo, const PullOptions& opts, Progress& progress,
                   const std::function<void(const FetchResult&)>& fetched);

// "Уже актуально" when there is nothing to integrate.
void print_pull(const PullResult& result);

// Runs the checkout, merge or rebase the outcome needs and reports it as
// that command does; answers the exit code.
int integrate_pull(const Repository& repo, const PullResult& result, Integration integration);
