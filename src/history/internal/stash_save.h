#pragma once

#include <string>

#include "store/object.h"

struct Repository;

// orrery stash save [-m message]: records the index as a new top entry and
// makes the tracked files and the index equal HEAD. Refuses, before writing
// anything, when that would lose work: a tracked file that differs from its
// index entry or is gone, or a file HEAD would overwrite that the index does
// not hold. Untracked files stay. Returns the new entry; throws CommandError
// when it refuses.
ObjectId save_stash(const Repository& repo, const std::string& message);
