#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"
#include "hub/rest_client.h"

// orrery pr list | create <title> [--head <branch>] | merge <id> [method]:
// the hub's pull requests, listed, opened from a local branch, merged.
int cmd_pr(const Args& args);

enum class PrAction { list, create, merge };

struct PrOptions {
  PrAction action = PrAction::list;
  std::string title;          // create
  std::string head = "main";  // create: the branch the request is opened from
  int32_t id = 0;             // merge
  std::string method = "merge";
};

// The options of cmd_pr's arguments (a subcommand first); an unknown
// subcommand, a missing title or id, or an id without digits is an error.
// Prints nothing.
Parsed<PrOptions> parse_pr_args(const Args& args);

struct PrResult {
  PrAction action = PrAction::list;
  std::vector<HubPullRequest> pulls;  // list
  int32_t id = 0;                     // created or merged
  std::string method;                 // merge
};

// Lists, opens (from a branch of the repository at `root`, towards the hub
// repository its origin names) or merges a pull request with the token.
// Throws CommandError for a branch that is not there or a call the hub
// refuses. Prints nothing.
PrResult do_pr(const std::string& token, const std::string& root, const PrOptions& opts);

// The requests one a line, or the created or merged one.
void print_pr(const PrResult& result);

// The decimal number at the start of the text (leading white space and a
// sign allowed, anything after the digits ignored); nothing without digits
// or beyond 32 bits.
std::optional<int32_t> parse_leading_int32(std::string_view text);
