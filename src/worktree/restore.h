#pragma once

#include <string>

#include "cli/console.h"
#include "store/object.h"

// Writes blob `id` to root/<path>, creating parent directories. False,
// writing nothing, when the path is unsafe, a directory on its way is a
// symbolic link, or `id` names no blob.
bool restore_file(const ObjectStore& store, const std::string& root, const std::string& path,
                  const ObjectId& id);

int cmd_restore(const Args& args);
