#pragma once

#include <string>
#include <string_view>
#include <vector>

struct IgnoreRule {
  std::string pattern;  // without the leading "!" and the trailing "/"
  bool negated = false;
  bool dir_only = false;
};

// The rules of .orreryignore in file order.
using IgnoreRules = std::vector<IgnoreRule>;

IgnoreRules parse_ignore_rules(std::string_view text);

// Reads root/.orreryignore; no rules when it does not exist.
IgnoreRules load_ignore_rules(const std::string& root);

// True for .orrery and .git at the top and everything below them, else as the
// last matching rule says.
bool is_ignored(const IgnoreRules& rules, std::string_view path, bool is_dir);

// "*" matches any bytes ("/" included), "?" one byte, all else itself.
// Runs in O(pattern × text) time.
bool glob_match(std::string_view pattern, std::string_view text);
