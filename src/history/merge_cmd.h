#pragma once

#include "cli/console.h"

// orrery merge <branch|remote/branch> | orrery merge --abort: fast-forwards
// the current branch, or merges the branch into it with a two-parent commit,
// or writes the conflicted files with markers and leaves .orrery/MERGE_HEAD
// until --abort resets to HEAD. Neither a fast-forward nor a merge commit
// touches the working tree or the index.
int cmd_merge(const Args& args);
