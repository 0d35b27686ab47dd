#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"

// orrery uninstall [--dry-run|-n] [--yes|-y]: explains, lists or removes
// the per-user data (the credentials folder or file) and, with --yes when
// running from the installed binary named orrery, that binary and the files
// the install put beside it. Repositories are never touched.
int cmd_uninstall(const Args& args);

struct UninstallOptions {
  bool yes = false;
  bool dry_run = false;  // wins over yes
};

// The options of cmd_uninstall's arguments; anything else is an error.
// Prints nothing.
Parsed<UninstallOptions> parse_uninstall_args(const Args& args);

// The per-user data: the configuration folder, or the bare token file when
// no folder is configured.
struct UserData {
  std::string path;
  bool is_folder = false;
  bool exists = false;  // before the command ran
};

// The running program: its path when known and whether it is the binary
// named orrery (not a test or a renamed copy).
struct RunningProgram {
  std::optional<std::string> path;
  bool own = false;
};

struct UninstallResult {
  bool dry_run = false;
  bool removing = false;  // --yes without --dry-run
  UserData data;
  RunningProgram program;
  std::optional<std::string> prefix;  // of the install the program runs from
  std::vector<std::string> entries;   // of that install
  bool data_removed = false;
  std::vector<std::string> warnings;  // what could not be removed
};

// Finds the user data and the install the program runs from and, with --yes
// (not --dry-run), removes them; throws CommandError when the user data
// cannot be removed (the program is then left too). Prints nothing.
UninstallResult do_uninstall(const UninstallOptions& opts);

// The explanation, the dry run's plan, or what was removed (with a warning
// for each part of the program that stayed); answers the exit code (1 when
// the explanation leaves user data in place).
int print_uninstall(const UninstallResult& result);

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
