#pragma once

#include "cli/console.h"
#include "diff/changes.h"
#include "store/repo.h"

// orrery show [--stat|--shortstat] <revision>: the commit's metadata, then
// its changes against its first parent. Returns 0, or 1 after an error.
int cmd_show(const Args& args);

// Writes the commit's changes against its first parent (every path added for
// a root commit, or when the parent cannot be read) in the format (patch,
// stat or shortstat) to out_stream(), or a line saying there are none.
void show_commit_changes(const Repository& repo, const Commit& commit, DiffFormat format);
