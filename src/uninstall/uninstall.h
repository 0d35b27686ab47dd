#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"

// orrery uninstall [--dry-run|-n] [--yes|-y]: explains, lists or removes
// the per-user data (the credentials folder or file) and, with --yes when
// running from the installed binary named orrery, that binary and the files
// the install put beside it. Repositories are never touched.
int cmd_uninstall(const Args& args);

// Writes the user-data lines: the folder (or token file) and whether it
// exists yet.
void print_user_data_paths();

// What the install lays out under its prefix besides bin/orrery, relative to
// the prefix, folders removed with their contents.
std::vector<std::string> installed_paths();

// True when any of lib/cmake/orrery, share/doc/orrery, lib/liborrery_core.a
// or lib/liborrery_net.a is there (a symbolic link counts, unfollowed).
bool is_install_prefix(const std::string& prefix);

// The prefix above an executable in a "bin" or "Bin" folder that looks like
// an install; nothing otherwise.
std::optional<std::string> install_prefix_of(const std::string& executable);
