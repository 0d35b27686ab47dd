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

// Every file of a written plan as an index entry with the stat the file has
// once it holds its blob. `read_any` tells that some file was proven equal
// by reading it rather than by its stat, so an index holding these stats
// would spare the next command that read.
struct WrittenFiles {
  Index files;
  bool read_any = false;
};

// Creates the directories and writes every blob of the plan, overwriting
// what is there and touching nothing else. Files that `known` proves equal
// by their stat, or by their bytes when the index names the same blob but
// its stat cannot prove it (staged in the index's own second, or recorded
// without one), are left alone. Throws "Missing blob <id>" or the
// file-system error; what was written before a failure stays.
void write_planned_files(const ObjectStore& store, const std::string& directory,
                         const TreeFiles& plan, const KnownFiles* known = nullptr,
                         WrittenFiles* written = nullptr);

// plan_tree_files followed by write_planned_files.
void write_tree_files(const ObjectStore& store, std::string_view tree_id,
                      const std::string& directory);

// The repository's index as KnownFiles; empty when it cannot be read.
KnownFiles load_known_files(const Repository& repo);

// Gives the index entries that name the same blob as `written` the stats the
// files have now, and saves the index when that changes it or when files
// were read, so later commands trust the stats again; `known` is the index
// the files were written against, which spares reloading it when nothing
// would change. Only stats change: what the index holds stays the same.
// Takes the repository lock.
void refresh_index_stats(const Repository& repo, const KnownFiles& known,
                         const WrittenFiles& written);
