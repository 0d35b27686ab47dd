#pragma once

#include <optional>

#include "store/repo.h"

// The opening step of every command that works in a repository: finds the
// root from the current directory, or reports the missing repository and
// returns nothing.
std::optional<Repository> open_repo_or_report();
