#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"
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
// Throws CommandError (exit code 2, the reason as its hint) when it cannot.
Blame blame_file(const Repository& repo, const ObjectId& commit, const std::string& path);

struct BlameOptions {
  std::string revision = "HEAD";
  std::string file;
  std::string cwd;  // what `file` is relative to (not parsed)
};

// [revision] [--] <file>; a usage error exits with 2.
Parsed<BlameOptions> parse_blame_args(const Args& args);

// Resolves the revision and the file, then blames it. Throws CommandError
// (exit code 2) for what cannot be resolved or attributed.
Blame do_blame(const Repository& repo, const BlameOptions& opts);

// One "<label>\t<line>" line per line of the file.
void print_blame(const Blame& blame);

// orrery blame [HEAD|revision] [--] <file>; errors after the repository
// lookup exit with 2.
int cmd_blame(const Args& args);
