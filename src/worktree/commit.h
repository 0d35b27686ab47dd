#pragma once

#include <string>

#include "cli/console.h"

// The author of a new commit: $USER, else $USERNAME, else "orrery".
std::string environment_author();

// orrery commit -m <message> [--amend]: commits the whole index and moves the
// current branch (or a detached HEAD) to the new commit. Fails, writing no
// reference, when the branch moved while the commit was being made.
int cmd_commit(const Args& args);
