#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "store/object.h"

// Path (relative, "/" separated) to blob id, in byte order of the paths.
using PathMap = std::map<std::string, ObjectId>;

// The check every tree entry name passes before it may become a path in the
// working tree: is_safe_relpath, not ".", no "/", "\" or NUL, and not .orrery
// or .git in any letter case.
bool is_safe_tree_name(std::string_view name);

// True when every "/"-separated component of a repository-relative path
// passes is_safe_tree_name: no "..", no absolute path, no empty component,
// nothing inside .orrery or .git.
bool is_safe_tree_path(std::string_view path);

// The check an index key passes when the index is loaded: is_safe_relpath,
// no empty or "." component, no NUL, and nothing inside .orrery or .git at
// the top (in any letter case). Weaker than is_safe_tree_path, which commit
// applies, so that an index an older add wrote (a nested .git directory's
// files, a name with a backslash) still loads and can be repaired.
bool is_safe_index_path(std::string_view path);

// Visits the entries below a tree depth-first in stored order, each with its
// full path, a directory before its contents. Missing or non-tree objects
// (the root included) contribute nothing. Throws "Unsafe path in tree: <name>"
// for an unsafe name, for nesting deeper than 2048 levels and for a tree that
// contains itself, so no walk can escape the working tree or the stack.
void walk_tree(const ObjectStore& store, std::string_view tree_id,
               const std::function<void(const std::string& path, const TreeEntry& entry)>& visit);

// walk_tree, entering a tree entry only when `visit` answers true for it
// (the answer for other entries does not matter): a caller that can tell a
// subtree is unchanged by its id skips reading it.
void walk_tree_selective(
    const ObjectStore& store, std::string_view tree_id,
    const std::function<bool(const std::string& path, const TreeEntry& entry)>& visit);

// Adds path -> blob id for every blob below the tree, paths prefixed with
// `prefix` + "/" when it is not empty. A later duplicate path overwrites.
void flatten_tree(const ObjectStore& store, std::string_view tree_id, const std::string& prefix,
                  PathMap& out);
