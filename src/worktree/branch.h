#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"
#include "store/object.h"

struct Repository;

// "origin/feature/x" -> ("origin", "feature/x"); nothing when there is no
// "/" or it stands first or last.
std::optional<std::pair<std::string, std::string>> parse_upstream_name(std::string_view text);

// The branch and tag names the commands accept: those is_safe_relpath
// accepts that also make a valid reference below refs/heads/ (no empty,
// "." or ".." component, no control character), so that the reference file
// is always a plain file below .orrery/refs.
bool is_valid_ref_name(std::string_view name);

struct BranchOptions {
  // No arguments list plainly; -vv (or only flags) lists with ids and
  // upstreams; "-d <name>" deletes; one name creates; -u sets an upstream;
  // anything else gets the usage text (the parser's help_error).
  enum class Action { list, list_verbose, remove, create, set_upstream };
  Action action = Action::list;
  bool verbose = false;
  std::optional<std::string> upstream;  // "remote/branch", checked
  std::vector<std::string> positional;
};

Parsed<BranchOptions> parse_branch_args(const Args& args);

struct BranchEntry {
  bool current = false;  // HEAD is on it
  std::string name;
  ObjectId id;
  std::optional<std::string> upstream;  // "remote/branch", verbose listings only
  std::string upstream_state;           // "", ": ?" or ": ahead N, behind M"
};

struct BranchResult {
  std::vector<BranchEntry> listing;  // in name order
  std::string done;                  // the result line of a change
  std::string not_found;             // the line for a branch -d could not delete
};

// Lists, creates or deletes branches, or sets a branch's upstream. Throws
// CommandError for a step the repository's state forbids. Prints nothing.
BranchResult do_branch(const Repository& repo, const BranchOptions& options);

// Writes the listing or the result line; answers the exit code.
int print_branch(const BranchResult& result, bool verbose);

int cmd_branch(const Args& args);
