#pragma once

#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"
#include "cli/progress.h"

struct Repository;

// orrery push [-u|--set-upstream] [-f|--force|--force-with-lease]
// [<remote|url> [branch]]: sends the history of HEAD's commit to a remote,
// moves the remote branch (guarded by the commit last seen there unless
// forced) and then refs/remotes/<remote>/<branch>.
int cmd_push(const Args& args);

// How the remote branch update is guarded.
enum class ForceMode {
  guarded,  // by the tracking reference when there is one
  force,    // never
  lease,    // by the tracking reference, which must exist
};

struct PushOptions {
  bool set_upstream = false;
  ForceMode force = ForceMode::guarded;
  std::vector<std::string> positionals;
};

// Where a push goes. The remote name stays empty when a URL was given.
struct PushTarget {
  std::string remote;
  std::string url;
  std::string branch;
  std::string tracking;  // names refs/remotes/<tracking>/<branch>
};

// The options of cmd_push's arguments (anything that is not a flag is a
// positional); more than two positionals ask for the help of push.
Parsed<PushOptions> parse_push_args(const Args& args);

struct PushResult {
  PushTarget target;  // as resolved
};

// Resolves the target, records it as upstream with -u (saved at once, so it
// stays even when the push then fails), then sends HEAD's history and moves
// the remote branch and the tracking reference. Throws CommandError for a
// target, state or server that stops the push. Prints nothing but the
// transfer's progress.
PushResult do_push(const Repository& repo, const PushOptions& options, Progress& progress);

// "Отправлено <branch> на <url>".
void print_push(const PushResult& result);
