#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "cli/console.h"

struct ReflogOptions {
  std::optional<uint32_t> max_count;  // nothing: every entry
};

// Parses "-n N" and "--max-count=N"; reports a bad argument itself and
// returns nothing.
std::optional<ReflogOptions> parse_reflog_args(const Args& args);

// The count when the whole text is a decimal integer from 1 to 1000000.
std::optional<uint32_t> parse_reflog_count(std::string_view text);

// orrery reflog [-n N|--max-count=N]: prints .orrery/logs/HEAD newest first.
int cmd_reflog(const Args& args);
