#pragma once

#include <string>

#include "cli/console.h"
#include "cli/parsed.h"

struct InitOptions {
  std::string target;  // the directory; "." by default
};

// Only the first argument counts.
InitOptions parse_init_args(const Args& args);

// Creates an empty repository in the target (creating the directory), or
// completes a .orrery that has no HEAD yet; throws CommandError for an
// initialised one. Prints nothing.
void do_init(const InitOptions& options);

// Reports the new repository; answers the exit code.
int print_init(const InitOptions& options);

// orrery init [path].
int cmd_init(const Args& args);
