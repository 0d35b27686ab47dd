#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "store/object.h"

struct Repository;

struct DescribeOptions {
  bool always = false;  // --always: the short id when no tag matches
  std::string revision = "HEAD";
};

// Parses "--always", "--tags" (ignored) and at most one revision; reports a
// bad argument itself and returns nothing.
std::optional<DescribeOptions> parse_describe_args(const Args& args);

// The names of the tags in refs/tags (not below it) whose file holds exactly
// this id, give or take surrounding blanks, in byte order.
std::vector<std::string> tags_pointing_at(const Repository& repo, const ObjectId& id);

// orrery describe [--always] [--tags] [revision]: the tag naming the commit.
int cmd_describe(const Args& args);
