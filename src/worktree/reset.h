#pragma once

#include "cli/console.h"
#include "store/ignore.h"
#include "store/index.h"
#include "store/object.h"
#include "store/tree_walk.h"

struct Repository;

// One entry per path carrying only the blob id (size, mtime and mode 0), so
// the next status hashes each file once.
Index index_from_tree(const PathMap& files);

// Makes the working tree and the index equal commit `commit`: writes its
// files, deletes every file it lacks that is neither ignored nor under
// .orrery, and rebuilds the index. A hostile tree is refused before anything
// is written. Reports its own failures; returns the exit code.
int hard_reset_worktree(const Repository& repo, const IgnoreRules& rules, const ObjectId& commit);

int cmd_reset(const Args& args);
