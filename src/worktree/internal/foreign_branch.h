#pragma once

#include <string>

// The branch git reports for the repository at `root`, through
// "git -C <root> rev-parse --abbrev-ref HEAD" started without a shell, its
// error output discarded; trailing line feeds removed. Empty when git cannot
// be started or prints nothing.
std::string foreign_branch_name(const std::string& root);
