#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/index.h"
#include "store/object.h"

struct Repository;

// One directory or file that writing a tree creates, path relative to the
// directory written into.
struct TreeFile {
  std::string path;
  ObjectId id;  // the blob, or the tree of a directory
  bool is_directory = false;
};

// Everything below one tree in stored order, a directory before its contents.
using TreeFiles = std::vector<TreeFile>;

// Working files whose content is known without reading them: the index
// entries whose recorded stat the file still has. Lets a checkout skip the
// files it would rewrite with the same bytes.
struct KnownFiles {
  Index index;
  uint64_t index_mtime = 0;  // the index file's own mtime, 1601 epoch
};

// True when the file at `full` (the working file of `path`) provably holds
// blob `id`: the index says so, and the file still has the stat recorded
// when it was staged.
bool is_known_equal(const KnownFiles& known, const std::string& path, const std::string& full,
                    const ObjectId& id);

// Walks and checks the whole tree before anything is written. Throws
// "Invalid tree object: <id>" for a missing or non-tree root or subtree,
// "Unsafe path in tree: <name>" for a hostile name, depth or cycle, and
// "Refusing to write through a symbolic link: <path>" when a directory of
// the tree is a symbolic link in `directory`.
TreeFiles plan_tree_files(const ObjectStore& store, std::string_view tree_id,
                          const std::string& directory);

// Creates the directories and writes every blob of the plan, overwriting
// what is there and touching nothing else. Files that `known` proves equal
// are left alone. Throws "Missing blob <id>" or the file-system error; what
// was written before a failure stays.
void write_planned_files(const ObjectStore& store, const std::string& directory,
                         const TreeFiles& plan, const KnownFiles* known = nullptr);

// plan_tree_files followed by write_planned_files.
void write_tree_files(const ObjectStore& store, std::string_view tree_id,
                      const std::string& directory);

// The repository's index as KnownFiles; empty when it cannot be read.
KnownFiles load_known_files(const Repository& repo);
