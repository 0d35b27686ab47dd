#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"
#include "store/object.h"

struct Repository;
class Progress;

struct AddOptions {
  bool patch = false;  // -p: choose hunks of one file
  std::vector<std::string> paths;
};

Parsed<AddOptions> parse_add_args(const Args& args);

// What happened to one argument or file, told as it happens: a staged file
// (with its blob id), a missing argument, an ignored one.
enum class AddEvent { staged, missing, ignored };
using AddSink = std::function<void(AddEvent event, const std::string& path, const ObjectId& id)>;

// Stores the files (directories recursively) as blobs and records them in
// the index, telling the sink about each. A symbolic link, a path outside
// the root or one no tree may hold is refused (CommandError) before anything
// is written.
void do_add(const Repository& repo, const AddOptions& opts, const AddSink& sink,
            Progress* progress = nullptr);

// The console's sink: staged files on standard output, the rest on
// standard error.
void print_add_event(AddEvent event, const std::string& path, const ObjectId& id);

// orrery add <path...>: do_add. orrery add -p <file>: stages chosen hunks of
// one file, asking on in_stream(). Paths are relative to the repository root.
int cmd_add(const Args& args);
