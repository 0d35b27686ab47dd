#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/object.h"

// (path, blob id) views in ascending byte order of the paths.
using PathIds = std::vector<std::pair<std::string_view, std::string_view>>;

// Gives a directory's tree its id: writes it, or only hashes it. `dir` is the
// directory's path ("" for the root of the fold).
using TreeSink = std::function<ObjectId(const std::string& dir, const Tree& tree)>;

// Groups the paths below `prefix` ("" for all) into one tree per directory,
// files as {"100644", "blob"} and directories as {"40000", "tree"}, entries
// sorted by name, and hands each tree to `sink`, every directory before the
// one containing it. Returns the id `sink` gave the tree of `prefix`; an
// empty selection gives the empty tree.
ObjectId fold_trees(const PathIds& paths, const std::string& prefix, const TreeSink& sink);
