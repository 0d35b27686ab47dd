#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "util/handles.h"

// A listing of the working tree that never depends on the file system's
// enumeration order, for the commands that report or delete files by path.

using ItemKind = EntryKind;  // other: symlinks, devices, …

struct WorkItem {
  std::string path;  // relative to the root, "/" separated
  ItemKind kind;     // from lstat: a symlink is `other`, never followed
  bool entered;      // directories only: whether its contents are listed
  int32_t parent;    // index of the containing directory's item, -1 at the top
};

// Answers whether to list the contents of a directory (given its path).
using EnterTest = std::function<bool(const std::string& path)>;

// Lists everything below root/base (base "" for the root, not listed
// itself) in pre-order: within a directory names sort by bytes, its files
// and other entries come first, then each subdirectory followed by its
// contents. Directories named .orrery or .git are listed but never entered,
// nor is a directory `enter` declines or one that cannot be read.
std::vector<WorkItem> list_work_tree(const std::string& root, const std::string& base,
                                     const EnterTest& enter);
