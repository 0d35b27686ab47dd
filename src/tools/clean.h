#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"

struct Repository;

struct CleanOptions {
  bool dry_run = false;      // -n: list only; wins over -f
  bool force = false;        // -f
  bool directories = false;  // -d
};

// Refuses a run with neither -n nor -f.
Parsed<CleanOptions> parse_clean_args(const Args& args);

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
// remove. Stops at the first failure and answers it.
std::optional<ArgError> remove_planned(const std::string& root, const CleanPlan& plan);

struct CleanResult {
  CleanPlan plan;
  bool dry_run = false;
  std::optional<ArgError> failure;  // the removal that failed
};

// Plans, then (unless a dry run) removes.
CleanResult do_clean(const Repository& repo, const CleanOptions& opts);

// The plan (unless quiet), then the failure; answers the exit code.
int print_clean(const CleanResult& result);

// orrery clean [-n|--dry-run] [-f|--force] [-d]
int cmd_clean(const Args& args);
