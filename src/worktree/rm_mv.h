#pragma once

#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"

struct Repository;

struct RmMvResult {
  std::vector<std::string> done;  // one result line per path, without newlines
};

// Both refuse (throwing CommandError), before anything is written, a path no
// tree may hold and one that passes through a symbolic link. Neither prints
// anything.
// Drops the paths from the index and deletes their files.
RmMvResult do_rm(const Repository& repo, const Args& paths);
// Renames the file and carries its index entry along.
RmMvResult do_mv(const Repository& repo, const std::string& from, const std::string& to);

// Writes the result lines; answers the exit code.
int print_rm_mv(const RmMvResult& result);

// orrery rm <path...>, orrery mv <from> <to>: the arguments are the paths,
// relative to the repository root.
int cmd_rm(const Args& args);
int cmd_mv(const Args& args);
