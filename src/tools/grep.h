#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"

struct Repository;

struct GrepOptions {
  bool line_number = false;  // -n
  bool ignore_case = false;  // -i: ASCII letters only
  bool regex = false;        // -E; -F (the default) switches it off again
  std::string pattern;
  std::vector<std::string> paths;  // as typed; none means the whole tree
};

// Reports a usage error itself and returns nothing (exit code 2).
std::optional<GrepOptions> parse_grep_args(const Args& args);

// The files to search, relative to the root: each path argument (relative
// to `cwd`) walked in byte order, skipping ignored paths, .orrery, .git and
// symlinks. Reports an argument outside the repository or missing and
// returns nothing.
std::optional<std::vector<std::string>> collect_grep_files(const Repository& repo,
                                                           const std::string& cwd,
                                                           const std::vector<std::string>& paths);

// orrery grep [-n] [-i] [-F|-E] [--] pattern [path…]; 0 matched, 1 not, 2 error.
int cmd_grep(const Args& args);
