#pragma once

#include "cli/console.h"

struct Repository;

// orrery stash show [-p|--patch|--stat|--shortstat] [stash@{N}]: what entry
// N changes against the commit it was saved on, as a list of paths, a
// patch or statistics. Returns the exit code.
int show_stash(const Repository& repo, const Args& rest);
