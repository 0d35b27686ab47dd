#pragma once

#include <functional>
#include <string>

#include "store/object.h"

// Visits every blob entry below a tree in stored order with its full path
// (`prefix` + "/" + the names below it, or the names alone for an empty
// prefix). Unlike walk_tree it does not refuse an unsafe name: the entry is
// visited with `unsafe` set, as is everything below such a directory, and
// everything when `unsafe` is given. Missing or damaged trees add nothing.
// Throws "Unsafe path in tree: <name>" for nesting deeper than 2048 levels
// and for a tree that contains itself.
void walk_side(
    const ObjectStore& store, const ObjectId& tree, const std::string& prefix, bool unsafe,
    const std::function<void(const std::string& path, const ObjectId& blob, bool unsafe)>& visit);
