#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"
#include "store/object.h"

// Writes blob `id` to root/<path>, creating parent directories. False,
// writing nothing, when the path is unsafe, a directory on its way is a
// symbolic link, or `id` names no blob.
bool restore_file(const ObjectStore& store, const std::string& root, const std::string& path,
                  const ObjectId& id);

struct RestoreOptions {
  bool staged = false;                // the index, not the working files
  std::optional<std::string> source;  // the revision to take files from; HEAD by default
  std::vector<std::string> paths;
};

// --source without a value gets the usage text.

Parsed<RestoreOptions> parse_restore_args(const Args& args);

struct Repository;

// Writes each path's indexed (else source) blob into the working tree, or
// with --staged sets the index entries to the source's (dropping the paths
// it lacks). Prints nothing; the first failure ends the work with a
// CommandError.
void do_restore(const Repository& repo, const RestoreOptions& options);

int cmd_restore(const Args& args);
