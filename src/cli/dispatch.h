#pragma once

#include <string_view>
#include <vector>

#include "cli/console.h"

// Runs the command named by the first argument with the rest; an empty list
// prints the general help. Exceptions from a handler become an error report
// and exit code 1.
int dispatch_command(const Args& args);

// The command names in the order of the dispatch table, for tools that
// describe the commands (completion, manual pages).
std::vector<std::string_view> command_names();
