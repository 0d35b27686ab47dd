#pragma once

#include "cli/console.h"

// orrery cherry-pick <rev> / orrery revert <rev>: applies the change the
// commit made against its first parent (or its inverse) on top of the
// current branch as a new commit; on conflicts leaves the merged files with
// markers in the working tree and the branch where it was.
int cmd_cherry_pick(const Args& args);
int cmd_revert(const Args& args);
