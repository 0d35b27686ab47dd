#pragma once

#include "cli/console.h"

// orrery pack: writes all loose objects into a new pack and prints its name.
// Exit 1 outside a repository or when writing fails.
int cmd_pack(const Args& args);

// orrery gc: writes a pack like pack, then deletes the loose files that went
// into it and prints how many were deleted. Failures reach the dispatcher.
int cmd_gc(const Args& args);
