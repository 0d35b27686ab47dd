#pragma once

#include <map>
#include <string>

#include "store/object.h"
#include "store/tree_walk.h"

// Writes the tree objects for the directory `prefix` ("" for the root) of
// the map's paths and every directory below it, and returns the id of the
// tree for `prefix`. Every file gets mode "100644", every directory "40000";
// entries are sorted by name in byte order. An empty selection writes and
// returns the empty tree. Throws RepositoryDamaged "Unsafe path in tree:
// <path>" for a path that fails is_safe_tree_path, before writing anything,
// and what writing an object throws.
ObjectId build_tree(const ObjectStore& store, const PathMap& paths, const std::string& prefix);

// Directory path ("" for the root) to the id of its tree.
using TreeIds = std::map<std::string, ObjectId>;

// build_tree of the whole map, taking the id of each directory found in
// `ids` instead of building it: the caller vouches that such an id is what
// build_tree gave exactly the paths that directory now holds. Adds the ids
// of the directories it builds, so a caller that then forgets the
// directories above the paths it changes can build the next map cheaply.
ObjectId build_tree_reusing(const ObjectStore& store, const PathMap& paths, TreeIds& ids);

// The id build_tree would give the map, computed without writing anything;
// records the id of every directory in `ids` (which then name trees that
// may not be stored: only a caller that finds the root id stored may keep
// them for build_tree_reusing).
ObjectId hash_tree(const PathMap& paths, TreeIds& ids);
