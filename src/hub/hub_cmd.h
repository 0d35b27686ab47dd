#pragma once

#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"
#include "hub/rest_client.h"
#include "net/clone.h"

// orrery hub repos | orrery hub clone <owner/repo> [folder] [branch]
// [--workspace <dir>]: lists the account's hub repositories, or clones one
// by name over HTTP(S) through clone.
int cmd_hub(const Args& args);

// "clone_usage": clone without a name, answered with the usage lines.
enum class HubAction { repos, clone, clone_usage };

struct HubCloneOptions {
  std::string owner;
  std::string repo;
  std::string folder;  // empty: the repository's name
  std::string branch = "main";
  std::string workspace;
};

struct HubOptions {
  HubAction action = HubAction::repos;
  HubCloneOptions clone;
};

// The options of cmd_hub's arguments (a subcommand first); an unknown
// subcommand or a name that is not owner/repo is an error. Prints nothing.
Parsed<HubOptions> parse_hub_args(const Args& args);

struct HubResult {
  HubAction action = HubAction::repos;
  std::vector<HubRepo> repos;  // repos
  CloneOptions clone;          // clone: what run_clone is given
};

// Lists the account's repositories, or asks the hub for the clone URL,
// accepting only an http(s) one. Throws CommandError when the hub fails or
// answers no usable URL. Prints nothing.
HubResult do_hub(const std::string& token, const HubOptions& opts);

// The repository table or the clone usage; answers the exit code.
int print_hub(const HubResult& result);

// One line of the repository table: id, owner/name, visibility and, when
// there is one, the description; server text made printable.
void print_repo_row(const HubRepo& repo);
