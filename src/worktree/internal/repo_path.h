#pragma once

#include <optional>
#include <string>

#include "cli/parsed.h"

// The repository-relative path ("/" separated, "." for the root itself) of
// the argument, taken relative to `root` unless it is absolute. Directories
// on the way are resolved through symlinks; the last component is kept as
// written, so a symlink is named by its own path. Nothing when the path lies
// outside the root.
std::optional<std::string> repo_relative_path(const std::string& root, const std::string& arg);

// The absolute spelling of a path argument: the root joined with it unless
// it is absolute already.
std::string repo_full_path(const std::string& root, const std::string& arg);

// The error for an argument that lies outside the root.
ArgError outside_root_error(const std::string& arg);

// True when a directory on the way from `root` to the repository-relative
// `path` is a symbolic link: reading, writing or deleting through it could
// reach outside the working tree. The last component is not looked at.
bool has_linked_parent(const std::string& root, const std::string& path);
