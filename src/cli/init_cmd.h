#pragma once

#include <optional>
#include <string>

#include "cli/console.h"
#include "cli/parsed.h"

struct InitOptions {
  std::string target;  // the directory; "." by default
};

// Only the first argument counts.
InitOptions parse_init_args(const Args& args);

// Creates an empty repository in the target (creating the directory), or
// completes a .orrery that has no HEAD yet; refuses an initialised one.
// Prints nothing.
std::optional<ArgError> do_init(const InitOptions& options);

// Reports the refusal or the new repository; answers the exit code.
int print_init(const InitOptions& options, const std::optional<ArgError>& error);

// orrery init [path].
int cmd_init(const Args& args);
