#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"

struct Repository;

struct ReflogOptions {
  std::optional<uint32_t> max_count;  // nothing: every entry
};

// Parses "-n N" and "--max-count=N".
Parsed<ReflogOptions> parse_reflog_args(const Args& args);

// The count when the whole text is a decimal integer from 1 to 1000000.
std::optional<uint32_t> parse_reflog_count(std::string_view text);

struct ReflogResult {
  bool has_log = false;            // .orrery/logs/HEAD exists
  std::vector<std::string> lines;  // newest first, ids shortened
};

// Reads .orrery/logs/HEAD; writes nothing.
ReflogResult do_reflog(const Repository& repo, const ReflogOptions& opts);

void print_reflog(const ReflogResult& result);

// orrery reflog [-n N|--max-count=N]: prints .orrery/logs/HEAD newest first.
int cmd_reflog(const Args& args);
