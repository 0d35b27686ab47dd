#pragma once

#include <optional>
#include <string>

#include "cli/console.h"
#include "cli/parsed.h"
#include "store/ignore.h"
#include "store/index.h"
#include "store/object.h"
#include "store/tree_walk.h"

struct Repository;

// One entry per path carrying only the blob id (size, mtime and mode 0), so
// the next status hashes each file once.
Index index_from_tree(const PathMap& files);

enum class ResetMode { soft, mixed, hard };

struct ResetOptions {
  ResetMode mode = ResetMode::mixed;
  std::optional<std::string> revision;  // none: HEAD, and the branch stays
};

Parsed<ResetOptions> parse_reset_args(const Args& args);

struct ResetResult {
  std::string done;  // the result line, without its newline
};

// Moves HEAD (or its branch) to the revision and, by mode, rebuilds the
// index from it and makes the working tree equal it (deleting every file it
// lacks that is neither ignored nor under .orrery). A hostile tree is
// refused before anything moves. Throws CommandError for what cannot be
// reset to. Prints nothing.
ResetResult do_reset(const Repository& repo, const ResetOptions& options);

// Reports the result line; answers the exit code.
int print_reset(const ResetResult& result);

// reset --hard to the commit without moving HEAD: the working tree and the
// index become the commit's, or nothing is written (and CommandError is
// thrown) when its tree is hostile or unreadable. Prints nothing.
ResetResult hard_reset_worktree(const Repository& repo, const IgnoreRules& rules,
                                const ObjectId& commit);

int cmd_reset(const Args& args);
