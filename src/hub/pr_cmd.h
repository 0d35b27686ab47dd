#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "cli/console.h"

// orrery pr list | create <title> [--head <branch>] | merge <id> [method]:
// the hub's pull requests, listed, opened from a local branch, merged.
int cmd_pr(const Args& args);

// The decimal number at the start of the text (leading white space and a
// sign allowed, anything after the digits ignored); nothing without digits
// or beyond 32 bits.
std::optional<int32_t> parse_leading_int32(std::string_view text);
