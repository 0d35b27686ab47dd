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
  enum class Action { list, remove, create };
  Action action = Action::list;
  std::vector<std::string> names;
  std::string revision = "HEAD";
};

// Only the number of arguments is checked here; the names are checked as
// the work reaches them.
Parsed<TagOptions> parse_tag_args(const Args& args);

struct TagResult {
  std::vector<std::string> lines;  // the listing or one line per deleted tag
  // What ended a deletion early: the tags deleted before it stay deleted and
  // their lines come first.
  std::optional<ArgError> stopped;
};

// Lists the tags directly below refs/tags, deletes tags, or points a new one
// at a revision. Throws CommandError when a new tag cannot be made. Prints
// nothing.
TagResult do_tag(const Repository& repo, const TagOptions& options);

// Writes the lines, then what stopped the work; answers the exit code.
int print_tag(const TagResult& result);

int cmd_tag(const Args& args);
