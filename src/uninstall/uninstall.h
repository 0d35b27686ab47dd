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

// The folders an install used, relative to its prefix (absolute ones stay
// absolute): by default the ones this program was configured with.
struct InstallLayout {
  std::string bindir;
  std::string libdir;
  std::string includedir;
  std::string datadir;
  std::string docdir;
  std::string mandir;
};
InstallLayout configured_layout();

// What the install lays out under its prefix besides the executable and the
// manual pages, each relative to the prefix unless its folder is absolute;
// folders are removed with their contents.
std::vector<std::string> installed_paths(const InstallLayout& layout = configured_layout());

// The full paths of what is there of the install under `prefix`: those of
// installed_paths, then orrery.1 and orrery-*.1 of the layout's man1 folder,
// in the order they are removed. Symbolic links count as themselves.
std::vector<std::string> installed_entries(const std::string& prefix,
                                           const InstallLayout& layout = configured_layout());

// True when any of the package config folder, the documentation folder or
// the two libraries is there (a symbolic link counts, unfollowed).
bool is_install_prefix(const std::string& prefix,
                       const InstallLayout& layout = configured_layout());

// The prefix above an executable that sits in the layout's executable folder
// (its last folder name compared without case, so "Bin" counts) and that
// looks like an install; nothing otherwise.
std::optional<std::string> install_prefix_of(const std::string& executable,
                                             const InstallLayout& layout = configured_layout());
