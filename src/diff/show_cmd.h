#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "cli/console.h"
#include "cli/parsed.h"
#include "diff/changes.h"
#include "store/repo.h"

struct ShowOptions {
  DiffFormat format = DiffFormat::patch;  // patch, stat or shortstat
  std::string revision;
};

Parsed<ShowOptions> parse_show_args(const Args& args);

struct ShowResult {
  ObjectId id;
  Commit commit;
};

// Finds the commit to show; throws CommandError when the revision names no
// readable commit. Prints nothing.
ShowResult do_show(const Repository& repo, const ShowOptions& options);

// Streams the commit's metadata, then its changes, to `out`.
void write_show(const Repository& repo, const ShowResult& shown, DiffFormat format,
                std::ostream& out);

// orrery show [--stat|--shortstat] <revision>: the commit's metadata, then
// its changes against its first parent. Returns 0, or 1 after an error.
int cmd_show(const Args& args);

// Writes the commit's changes against its first parent (every path added for
// a root commit, or when the parent cannot be read) in the format to `out`,
// or a line saying there are none.
void show_commit_changes(const Repository& repo, const Commit& commit, DiffFormat format,
                         std::ostream& out);
