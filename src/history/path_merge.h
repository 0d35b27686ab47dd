#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "store/object.h"
#include "store/tree_walk.h"

struct Repository;

// What becomes of a path that may not be written in the working tree (a
// name .orrery, .git, "..", or one holding "/", "\" or NUL, on any level).
enum class UnsafePaths {
  conflict,  // listed as a conflict and kept out of the merged map
  keep,      // merged like any other path and listed in TreeMerge::unsafe
};

// The path-by-path merge of three trees.
struct TreeMerge {
  PathMap merged;
  std::vector<std::string> conflicts;  // ascending
  std::vector<std::string> marked;     // the text conflicts, in `merged` with markers; ascending
  std::set<std::string> unsafe;        // merged paths that must not be written (keep only)
  std::vector<std::string> changed;    // merged paths whose blob is not ours'; ascending
  std::vector<std::string> removed;    // safe paths of ours the merge drops; ascending
};

// Decides every path of the three trees: a side that did not change a path
// yields the other side's blob, a path changed on both sides goes through
// merge_text and its result is stored as a new blob; a path changed on one
// side and deleted on the other, or unreadable, not a blob or holding a zero
// byte on a side that needs merging, is a conflict without an entry. Subtrees
// that ours and theirs share, or that theirs left as in the base, are ours'
// whole, unread on the other sides.
// Missing or damaged trees count as empty. Touches no working file. Throws
// "Unsafe path in tree: <name>" for trees nested deeper than 2048 levels or
// containing themselves, and what writing a blob throws.
// `ours_files`, when given, must be flatten_tree of ours with no unsafe
// path; the merge then starts from it instead of reading ours whole.
TreeMerge merge_trees(const ObjectStore& store, const ObjectId& base_tree,
                      const ObjectId& ours_tree, const ObjectId& theirs_tree, UnsafePaths unsafe,
                      std::optional<PathMap> ours_files = std::nullopt);

// The merged map and the conflicted paths (ascending) of merge_paths.
struct PathMergeOutcome {
  PathMap merged;
  std::vector<std::string> conflicts;
};

// merge_trees with unsafe paths as conflicts, then writes each text
// conflict, markers and all, into its working file (creating directories).
// No other working file is touched, and none below a symbolic link.
PathMergeOutcome merge_paths(const Repository& repo, const ObjectId& base_tree,
                             const ObjectId& ours_tree, const ObjectId& theirs_tree);
