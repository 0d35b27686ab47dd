#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cli/console.h"
#include "cli/parsed.h"
#include "store/config.h"

struct Repository;

// The field of RepoConfig a dotted key names. Remote and branch names may
// hold dots, so a key is split by its fixed prefix and suffix only.
struct ConfigKey {
  enum class Field { remote_url, upstream_remote, upstream_branch, branch_remote, branch_branch };
  Field field = Field::upstream_remote;
  std::string name;  // the remote or branch; empty for the repository-wide fields
};

// remote.<name>.url, upstream.remote, upstream.branch,
// branch.<name>.upstream.remote, branch.<name>.upstream.branch; nothing for
// any other key (an empty name included).
std::optional<ConfigKey> parse_config_key(std::string_view key);

// The field's value; nothing when it is not set.
std::optional<std::string> get_config_value(const RepoConfig& config, const ConfigKey& key);

// Sets the field, creating the remote or branch entry when needed.
void set_config_value(RepoConfig& config, const ConfigKey& key, const std::string& value);

// Clears the field. A remote goes with its url; a branch entry goes once
// neither of its fields is set.
void unset_config_value(RepoConfig& config, const ConfigKey& key);

// The "key=value" lines of every set field, in the order the list shows.
std::string list_config(const RepoConfig& config);

enum class ConfigMode { list, get, set, unset };

struct ConfigOptions {
  ConfigMode mode = ConfigMode::list;
  ConfigKey key;      // every mode but list
  std::string value;  // --set: its words joined by spaces
};

// Parses one mode and checks that its key (and the value of --set) can be
// stored.
Parsed<ConfigOptions> parse_config_args(const Args& args);

struct ConfigResult {
  std::string text;   // the listing, or the value and its line feed
  bool found = true;  // false: --get of a field that is not set
};

// Reads .orrery/config and, for --set and --unset, writes it back.
ConfigResult do_config(const Repository& repo, const ConfigOptions& opts);

// Writes the text; answers 1 for a field --get did not find.
int print_config(const ConfigResult& result);

// orrery config [--list|-l] | --get <key> | --set <key> <value>… | --unset <key>
int cmd_config(const Args& args);
