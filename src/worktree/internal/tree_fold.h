#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/object.h"

// (path, blob id) views in ascending byte order of the paths.
using PathIds = std::vector<std::pair<std::string_view, std::string_view>>;

// One entry of a folded directory: a file ({"100644", "blob"}) or a
// directory ({"40000", "tree"}). The views stay valid while the fold runs.
struct FoldEntry {
  std::string_view name;
  std::string_view id;
  bool is_tree = false;
};

// Gives a directory's tree its id: writes it, or only hashes it. `dir` is the
// directory's path ("" for the root of the fold); entries are sorted by name.
using TreeSink =
    std::function<ObjectId(const std::string& dir, const std::vector<FoldEntry>& entries)>;

// Groups the paths below `prefix` ("" for all) into one tree per directory
// and hands each to `sink`, every directory before the one containing it.
// Returns the id `sink` gave the tree of `prefix`; an empty selection gives
// the empty tree.
ObjectId fold_trees(const PathIds& paths, const std::string& prefix, const TreeSink& sink);

// The stored form of a folded directory.
Tree to_tree(const std::vector<FoldEntry>& entries);

// The id of the tree object of `entries`, hashed from its text built in
// `buffer` without a Tree in between: the same as
// object_hash("tree", serialize_tree(to_tree(entries))).
ObjectId hash_folded_tree(const std::vector<FoldEntry>& entries, std::string& buffer);
