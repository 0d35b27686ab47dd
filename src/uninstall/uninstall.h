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

// What the install lays out under its prefix besides bin/orrery and the
// manual pages, relative to the prefix, folders removed with their contents.
std::vector<std::string> installed_paths();

// The full paths of what is there of the install under `prefix`: those of
// installed_paths, then share/man/man1/orrery.1 and orrery-*.1, in the
// order they are removed. Symbolic links count as themselves.
std::vector<std::string> installed_entries(const std::string& prefix);

// True when any of lib/cmake/orrery, share/doc/orrery, lib/liborrery_core.a
// or lib/liborrery_net.a is there (a symbolic link counts, unfollowed).
bool is_install_prefix(const std::string& prefix);

// The prefix above an executable in a "bin" or "Bin" folder that looks like
// an install; nothing otherwise.
std::optional<std::string> install_prefix_of(const std::string& executable);
