#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "store/object.h"

struct Repository;

// Who last brought each line of a file into the first-parent history.
struct Blame {
  std::string content;              // the file at the chosen revision
  std::vector<uint32_t> owners;     // per line of content: an index into labels
  std::vector<std::string> labels;  // "<short id> (<author>[ <date>])", set for owners
};

// "<short id> (<author or ?>[ <date>])" for one commit: the date is UTC
// "%Y-%m-%d %H:%M UTC", left out for timestamp 0.
std::string blame_label(const ObjectId& id, const Commit& commit);

// Attributes the lines of `path` at `commit` walking its first-parent chain
// from the root: each version is diffed once against the one before, added
// lines go to that commit, kept lines keep their owner, and a commit
// without the file (or with a binary one) starts the attribution afresh.
// Returns nothing and sets `error` to the reason when it cannot.
std::optional<Blame> blame_file(const Repository& repo, const ObjectId& commit,
                                const std::string& path, std::string& error);

// orrery blame [HEAD|revision] [--] <file>; errors after the repository
// lookup exit with 2.
int cmd_blame(const Args& args);
