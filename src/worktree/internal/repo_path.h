#pragma once

#include <optional>
#include <string>

// The repository-relative path ("/" separated, "." for the root itself) of
// the argument, taken relative to `root` unless it is absolute. Directories
// on the way are resolved through symlinks; the last component is kept as
// written, so a symlink is named by its own path. Nothing when the path lies
// outside the root.
std::optional<std::string> repo_relative_path(const std::string& root, const std::string& arg);
