#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"

struct Repository;

struct CleanOptions {
  bool dry_run = false;      // -n: list only; wins over -f
  bool force = false;        // -f
  bool directories = false;  // -d
};

// Reports a bad argument itself and returns nothing.
std::optional<CleanOptions> parse_clean_args(const Args& args);

// What clean removes: untracked files in walk order, then (with -d) the
// directories that hold nothing else, each after its subdirectories.
struct CleanPlan {
  std::vector<std::string> files;
  std::vector<std::string> directories;
};

// Selects without touching anything. A file is untracked when the index
// lacks it and the ignore rules keep it; ignored directories, .orrery and
// .git are never entered, and symlinks are never selected. A directory is
// selected only when every entry in it is a selected file or directory.
CleanPlan plan_clean(const Repository& repo, bool directories);

// Removes the files, then the directories, each with a non-recursive
// remove. Reports the first failure through print_error and returns false.
bool remove_planned(const std::string& root, const CleanPlan& plan);

// orrery clean [-n|--dry-run] [-f|--force] [-d]
int cmd_clean(const Args& args);
