#pragma once

#include "cli/console.h"

// orrery help [topic]: the general help, or the help topic of one command.
// Returns 1 (after printing the unknown-topic lines) for an unknown topic.
int cmd_help(const Args& args);

// Prints one line of the command list, its command word cyan when coloured.
void print_command_line(std::string_view line);
