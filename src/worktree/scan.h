#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/progress.h"
#include "store/ignore.h"
#include "store/index.h"
#include "store/object.h"

// How HEAD's tree, the index and the working tree differ. Paths are
// repository-relative with "/" separators.
struct WorktreeStatus {
  std::vector<std::string> staged_new;       // index order
  std::vector<std::string> staged_modified;  // index order
  std::vector<std::string> staged_deleted;   // HEAD-tree order
  std::vector<std::pair<std::string, std::string>>
      staged_renamed;                          // (old, new), new in index order
  std::vector<std::string> unstaged_modified;  // index order
  std::vector<std::string> unstaged_deleted;   // index order
  std::vector<std::pair<std::string, std::string>> unstaged_renamed;  // (old, new), walk order
  std::vector<std::string> untracked;                                 // walk order
};

// Compares the tree of `head` (none: an unborn branch), the index and the
// files under `root`. Unchanged files, judged by their stat triple, are not
// read. Writes nothing but the progress, given one, of the files it looks
// at; throws the file-read error for a working file that exists but cannot
// be read.
WorktreeStatus compute_worktree_status(const std::string& root, const ObjectStore& store,
                                       const IgnoreRules& rules, const Index& index,
                                       const std::optional<ObjectId>& head,
                                       Progress* progress = nullptr);

// True when any of the eight lists is non-empty.
bool is_dirty(const WorktreeStatus& status);
