#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"

struct Repository;

struct TagOptions {
  // No arguments list; "-d|--delete <tag...>" deletes; "<tag> [revision]"
  // creates; anything else gets the usage text.
  enum class Action { list, remove, create, usage };
  Action action = Action::list;
  std::vector<std::string> names;
  std::string revision = "HEAD";
  std::optional<ArgError> usage_error;  // reported before the usage text
};

// Every argument list parses to an action; only the names are checked later.
TagOptions parse_tag_args(const Args& args);

struct TagResult {
  std::vector<std::string> lines;  // the listing or one line per deleted tag
  std::optional<ArgError> error;
};

// Lists the tags directly below refs/tags, deletes tags, or points a new one
// at a revision. Prints nothing.
TagResult do_tag(const Repository& repo, const TagOptions& options);

// Writes the lines, then the error; answers the exit code.
int print_tag(const TagResult& result);

int cmd_tag(const Args& args);
