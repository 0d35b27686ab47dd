#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"

struct Repository;

struct GrepOptions {
  bool line_number = false;  // -n
  bool ignore_case = false;  // -i: ASCII letters only
  bool regex = false;        // -E; -F (the default) switches it off again
  std::string pattern;
  std::vector<std::string> paths;  // as typed; none means the whole tree
  std::string cwd;                 // what the paths are relative to (not parsed)
};

// A usage error exits with 2.
Parsed<GrepOptions> parse_grep_args(const Args& args);

// The files to search, relative to the root: each path argument (relative
// to `cwd`) walked in byte order, skipping ignored paths, .orrery, .git and
// symlinks. Throws CommandError (exit code 2) for an argument outside the
// repository or missing.
std::vector<std::string> collect_grep_files(const Repository& repo, const std::string& cwd,
                                            const std::vector<std::string>& paths);

// Writes "path[:number]:line" for every matching line to `matches`, or
// stops at the first match when it is null. Answers whether a line matched.
// Throws CommandError (exit code 2) for a bad expression or path.
bool do_grep(const Repository& repo, const GrepOptions& opts, std::ostream* matches);

// orrery grep [-n] [-i] [-F|-E] [--] pattern [path…]; 0 matched, 1 not, 2 error.
int cmd_grep(const Args& args);
