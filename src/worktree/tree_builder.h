#pragma once

#include <string>

#include "store/object.h"
#include "store/tree_walk.h"

// Writes the tree objects for the directory `prefix` ("" for the root) of
// the map's paths and every directory below it, and returns the id of the
// tree for `prefix`. Every file gets mode "100644", every directory "40000";
// entries are sorted by name in byte order. An empty selection writes and
// returns the empty tree. Throws "Refusing to write an unsafe path into a
// tree: <path>" for a path that fails is_safe_tree_path, before writing
// anything, and what writing an object throws.
ObjectId build_tree(const ObjectStore& store, const PathMap& paths, const std::string& prefix);
