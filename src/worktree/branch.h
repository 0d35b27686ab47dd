#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "cli/console.h"

// "origin/feature/x" -> ("origin", "feature/x"); nothing when there is no
// "/" or it stands first or last.
std::optional<std::pair<std::string, std::string>> parse_upstream_name(std::string_view text);

// The branch and tag names the commands accept: those is_safe_relpath
// accepts that also make a valid reference below refs/heads/ (no empty,
// "." or ".." component, no control character), so that the reference file
// is always a plain file below .orrery/refs.
bool is_valid_ref_name(std::string_view name);

int cmd_branch(const Args& args);
