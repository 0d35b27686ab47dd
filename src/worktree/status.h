#pragma once

#include <optional>

#include "cli/console.h"
#include "cli/parsed.h"
#include "worktree/branch_header.h"
#include "worktree/scan.h"

struct Repository;
class Progress;

struct StatusOptions {
  bool short_format = false;
  bool branch = false;
  bool quiet = false;  // only the exit code is wanted: the report is not gathered
};

// Reads status's own arguments; the quiet option is the caller's to set.
Parsed<StatusOptions> parse_status_args(const Args& args);

struct StatusResult {
  BranchHeader header;           // long format only
  std::optional<ObjectId> head;  // none on an unborn branch
  WorktreeStatus status;
  std::string short_branch_line;  // "## ..." for the short format with --branch
};

// Compares HEAD, the index and the working tree; prints nothing but the
// given progress. The long report opens with branch_header(repo).
StatusResult do_status(const Repository& repo, const StatusOptions& opts,
                       Progress* progress = nullptr);

// Writes the report and answers the exit code: 1 when anything differs
// (untracked files included), 0 when clean, in every output mode.
int print_status(const StatusResult& result, const StatusOptions& opts);

// orrery status [-s|--short] [-b|--branch]: where HEAD stands and what
// differs between HEAD, the index and the working tree.
int cmd_status(const Args& args);
