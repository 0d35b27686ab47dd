#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"
#include "store/object.h"

struct Repository;

struct DescribeOptions {
  bool always = false;  // --always: the short id when no tag matches
  std::string revision = "HEAD";
};

// Parses "--always", "--tags" (ignored) and at most one revision.
Parsed<DescribeOptions> parse_describe_args(const Args& args);

// The names of the tags in refs/tags (not below it) whose file holds exactly
// this id, give or take surrounding blanks, in byte order.
std::vector<std::string> tags_pointing_at(const Repository& repo, const ObjectId& id);

// The first tag naming the revision, else (with --always) its short id.
// Throws CommandError for a revision that resolves to nothing or a commit
// no tag names.
std::string do_describe(const Repository& repo, const DescribeOptions& opts);

// Writes the name on its line; answers the exit code.
int print_describe(const std::string& name);

// orrery describe [--always] [--tags] [revision]: the tag naming the commit.
int cmd_describe(const Args& args);
