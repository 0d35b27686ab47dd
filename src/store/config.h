#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

struct Repository;

struct RemoteConfig {
  std::string url;

  bool operator==(const RemoteConfig&) const = default;
};

struct BranchConfig {
  std::optional<std::string> upstream_remote;
  std::optional<std::string> upstream_branch;

  bool operator==(const BranchConfig&) const = default;
};

// The content of .orrery/config. Comments, unknown sections and unknown keys
// are not kept.
struct RepoConfig {
  std::map<std::string, RemoteConfig> remotes;
  std::optional<std::string> upstream_remote;  // the bare [branch] section
  std::optional<std::string> upstream_branch;
  std::map<std::string, BranchConfig> branches;

  bool operator==(const RepoConfig&) const = default;
};

RepoConfig parse_config(std::string_view text);
std::string serialize_config(const RepoConfig& config);

// Throws "Configuration text would not read back: <section>" unless every
// name and value, written out, reads back as itself: a line feed, a quote
// in a name or blanks around a value would change or add settings.
void check_config(const RepoConfig& config);

// An empty configuration when .orrery/config does not exist. Throws
// RepositoryDamaged when the file is not a regular one.
RepoConfig load_config(const Repository& repo);
// check_config, then replaces .orrery/config atomically and durably; takes
// no lock.
void save_config(const Repository& repo, const RepoConfig& config);
