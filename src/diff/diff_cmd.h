#pragma once

#include <iosfwd>

#include "cli/console.h"
#include "cli/parsed.h"
#include "diff/changes.h"
#include "store/index.h"
#include "store/repo.h"

struct DiffOptions {
  bool cached = false;  // HEAD against the index
  DiffFormat format = DiffFormat::patch;
};

Parsed<DiffOptions> parse_diff_args(const Args& args);

struct DiffResult {
  bool differs = false;
};

// Streams the differences in the chosen format to `out` as they are found.
DiffResult do_diff(const Repository& repo, const DiffOptions& options, std::ostream& out);

// Writes "Нет отличий" when nothing differed; answers the exit code: 1 when
// a difference was found, else 0.
int print_diff(const DiffResult& result);

// orrery diff [--cached|--staged] [--stat|--shortstat|--name-only|--name-status]:
// the index against the working tree, or the HEAD commit against the index.
int cmd_diff(const Args& args);

// Compares every index entry with the working file at its path (a missing
// file reads as empty; entries whose object cannot be read are left out) and
// writes the result in the format to `out`. True when something differed.
bool diff_index_worktree(const Repository& repo, const Index& index, DiffFormat format,
                         std::ostream& out);

// Compares the tree HEAD resolves to with the index: the index paths in
// order, then the HEAD paths the index lacks. Output and result as above.
bool diff_head_index(const Repository& repo, const Index& index, DiffFormat format,
                     std::ostream& out);
