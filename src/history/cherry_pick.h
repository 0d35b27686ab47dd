#pragma once

#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"
#include "history/pick.h"
#include "store/object.h"

struct Repository;

struct PickOptions {
  PickKind kind = PickKind::cherry_pick;
  std::string revision;
};

// One revision, or the command's help text.
Parsed<PickOptions> parse_pick_args(const Args& args, PickKind kind);

struct PickCommandResult {
  PickKind kind = PickKind::cherry_pick;
  std::vector<std::string> conflicts;  // ascending; the branch did not move
  std::string switched;                // checkout's line, when the branch moved
  ObjectId commit;                     // the new commit, when the branch moved
};

// Applies the change the commit made against its first parent (or its
// inverse) on top of the current branch as a new commit and checks the
// branch out; on conflicts leaves the merged files with markers in the
// working tree and the branch where it was. Throws CommandError, before
// writing anything, for a detached HEAD, an unknown revision or a commit
// that cannot be picked that way. Prints nothing.
PickCommandResult do_pick(const Repository& repo, const PickOptions& opts);

// Reports the conflicts or the lines of the new commit; answers the exit
// code.
int print_pick(const PickCommandResult& result);

// orrery cherry-pick <rev> / orrery revert <rev>
int cmd_cherry_pick(const Args& args);
int cmd_revert(const Args& args);
