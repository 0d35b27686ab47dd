#pragma once

#include <string>
#include <vector>

#include "cli/console.h"

// orrery remote [show <name> | add <name> <url> | remove|rm <name>]: lists,
// shows, adds and removes the remotes of .orrery/config; never talks to the
// network. With the global verbose option and no arguments the listing
// carries each remote's URL after a tab.
int cmd_remote(const Args& args);

// The branches with a tracking reference under .orrery/refs/remotes/<remote>,
// sorted, as "/"-separated paths below that folder. Symbolic links and the
// leftovers of interrupted writes are skipped; directory errors throw.
std::vector<std::string> list_remote_branches(const std::string& root, const std::string& remote);
