#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "cli/console.h"

struct Repository;
class Progress;

struct PackResult {
  std::string name;                  // the new pack
  std::optional<std::string> error;  // why writing failed
};

// Writes all loose objects into a new pack. Prints nothing but the progress.
PackResult do_pack(const Repository& repo, Progress* progress = nullptr);

// Reports the pack's name or the failure; answers the exit code.
int print_pack(const PackResult& result);

// orrery pack: do_pack. Exit 1 outside a repository or when writing fails.
int cmd_pack(const Args& args);

struct GcResult {
  std::string name;    // the new pack
  size_t deleted = 0;  // loose files that went into it and were deleted
};

// Writes a pack like do_pack, then deletes the loose files that went into
// it and stale temporary files. Failures throw.
GcResult do_gc(const Repository& repo, Progress* progress = nullptr);

void print_gc(const GcResult& result);

// orrery gc: do_gc. Failures reach the dispatcher.
int cmd_gc(const Args& args);
