#pragma once

#include "cli/console.h"
#include "diff/changes.h"
#include "store/index.h"
#include "store/repo.h"

// orrery diff [--cached|--staged] [--stat|--shortstat|--name-only|--name-status]:
// the index against the working tree, or the HEAD commit against the index.
// Returns 1 when a difference was found, 0 when none, 1 after a usage error.
int cmd_diff(const Args& args);

// Compares every index entry with the working file at its path (a missing
// file reads as empty; entries whose object cannot be read are left out) and
// writes the result in the format to out_stream(), or "Нет отличий" when
// nothing differs. Returns 1 when something differed, else 0.
int diff_index_worktree(const Repository& repo, const Index& index, DiffFormat format);

// Compares the tree HEAD resolves to with the index: the index paths in
// order, then the HEAD paths the index lacks. Output and result as above.
int diff_head_index(const Repository& repo, const Index& index, DiffFormat format);
