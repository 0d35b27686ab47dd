#pragma once

#include <string>

#include "cli/console.h"
#include "store/object.h"

// True when every "/"-separated component of the path may name a working
// file written from an object (is_safe_tree_name): no "..", no absolute
// path, nothing inside .orrery or .git.
bool is_safe_working_path(std::string_view path);

// Writes blob `id` to root/<path>, creating parent directories. False,
// writing nothing, when the path is unsafe, a directory on its way is a
// symbolic link, or `id` names no blob.
bool restore_file(const ObjectStore& store, const std::string& root, const std::string& path,
                  const ObjectId& id);

int cmd_restore(const Args& args);
