#pragma once

#include <optional>
#include <string>

// The repository-relative, "/"-separated form of a path argument taken
// relative to `cwd`, worked out on the text alone (no symlink is resolved):
// "" for the root itself, nothing for a path outside the root.
std::optional<std::string> repo_relative_arg(const std::string& root, const std::string& cwd,
                                             const std::string& arg);
