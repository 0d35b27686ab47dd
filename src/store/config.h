#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

struct Repository;

struct RemoteConfig {
  std::string url;
};

struct BranchConfig {
  std::optional<std::string> upstream_remote;
  std::optional<std::string> upstream_branch;
};

// The content of .orrery/config. Comments, unknown sections and unknown keys
// are not kept.
struct RepoConfig {
  std::map<std::string, RemoteConfig> remotes;
  std::optional<std::string> upstream_remote;  // the bare [branch] section
  std::optional<std::string> upstream_branch;
  std::map<std::string, BranchConfig> branches;
};

RepoConfig parse_config(std::string_view text);
std::string serialize_config(const RepoConfig& config);

// An empty configuration when .orrery/config does not exist.
RepoConfig load_config(const Repository& repo);
// Replaces .orrery/config atomically; takes no lock.
void save_config(const Repository& repo, const RepoConfig& config);
