#pragma once

#include <iosfwd>

#include "history/stash.h"

// orrery stash show [-p|--patch|--stat|--shortstat] [stash@{N}]: writes what
// the entry changes against the commit it was saved on, as a list of paths,
// a patch or statistics. Throws CommandError when the entry has no readable
// parent commit.
void show_stash(const Repository& repo, const StashEntry& entry, StashShowFormat format,
                std::ostream& out);
