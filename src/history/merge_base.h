#pragma once

#include <optional>

#include "store/object.h"

struct Repository;

// The first commit reachable from `ours` (itself included) that a
// depth-first walk from `theirs` meets, taking the last parent first. On a
// linear history that is the newest common ancestor; across merges it is
// whichever common ancestor the walk reaches first. Nothing when the
// histories share no commit. Unreadable commits end their branch of either
// walk; nothing is thrown for them.
std::optional<ObjectId> merge_base(const Repository& repo, const ObjectId& ours,
                                   const ObjectId& theirs);
