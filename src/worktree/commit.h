#pragma once

#include <optional>
#include <string>

#include "cli/console.h"
#include "cli/parsed.h"
#include "store/object.h"

struct Repository;

// The author of a new commit: $USER, else $USERNAME, else "orrery".
std::string environment_author();

struct CommitOptions {
  bool amend = false;
  std::string message;
};

Parsed<CommitOptions> parse_commit_args(const Args& args);

struct CommitResult {
  ObjectId id;  // the new commit
};

// Commits the whole index and moves the current branch (or a detached HEAD)
// to the new commit. Throws CommandError, having written no reference (but
// possibly objects), when there is nothing to commit with or the branch
// moved while the commit was being made. Prints nothing.
CommitResult do_commit(const Repository& repo, const CommitOptions& opts);

// Reports the new commit; answers the exit code.
int print_commit(const CommitResult& result);

// orrery commit -m <message> [--amend]: commits the whole index and moves the
// current branch (or a detached HEAD) to the new commit. Fails, writing no
// reference, when the branch moved while the commit was being made.
int cmd_commit(const Args& args);
