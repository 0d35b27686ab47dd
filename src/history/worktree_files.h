#pragma once

#include <set>
#include <string>
#include <string_view>

#include "store/index.h"
#include "store/object.h"
#include "store/tree_walk.h"
#include "worktree/tree_writer.h"

struct Repository;

// Writes and deletes the working files of the history commands. A path is
// refused, and nothing done, unless it passes is_safe_tree_path and no
// directory on its way from the root is a symbolic link, so nothing a tree
// names can reach outside the working tree or into .orrery.
class WorkingTreeWriter {
 public:
  explicit WorkingTreeWriter(std::string root);

  bool allows(std::string_view path);
  // Creates the parent directories and replaces the file atomically. False
  // for a refused path; throws what write_file_atomic throws.
  bool write(std::string_view path, std::string_view content);
  // Deletes the file; false for a refused path or a failed deletion.
  bool remove(std::string_view path);

 private:
  std::string root_;
  std::string checked_dir_;  // the last directory known to have no link on its way
};

// Writes the blob of every entry into the working tree, skipping the paths
// in `skip`, refused paths, objects that are not readable blobs and files
// that `known` (when given) proves to hold their blob already.
void write_path_map(const Repository& repo, const PathMap& files, const KnownFiles* known,
                    const std::set<std::string>& skip = {});

// One index entry per path with the working file's stat triple, all zero
// for a missing file, a refused path or anything but a regular file.
Index index_with_working_stats(const Repository& repo, const PathMap& files);
