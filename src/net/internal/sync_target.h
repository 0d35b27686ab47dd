#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cli/parsed.h"
#include "store/config.h"
#include "store/object.h"

struct Repository;

// What fetch and push read from the configuration before they talk to a
// remote.
struct SyncSettings {
  RepoConfig config;
  std::string current_branch;  // the branch HEAD names; "main" when it names none
  BranchConfig upstream;       // the current branch's entry (possibly empty)

  // The per-branch upstream remote, else the repository-level one, else
  // "origin".
  std::string default_remote() const;
  // The per-branch upstream branch, else the repository-level one, else
  // `fallback`.
  std::string default_branch(const std::string& fallback) const;
  // The URL of a configured remote; nothing when there is no such remote.
  std::optional<std::string> remote_url(const std::string& name) const;
};

SyncSettings load_sync_settings(const Repository& repo);

// A configured remote.
struct NamedRemote {
  std::string name;
  std::string url;
};

// The default remote (the upstream's, else origin); throws CommandError
// naming it when it is not configured.
NamedRemote default_remote(const SyncSettings& settings);

// Checks the names that become the path refs/remotes/<remote>/<branch>, the
// request paths and configuration lines; the error names the first that is
// not a valid reference name or holds a control byte.
std::optional<ArgError> check_tracking_names(const std::string& remote, const std::string& branch);

// Throws CommandError, the missing login, when the remote needs a token (a
// hub URL) and there is none.
void require_token_for(std::string_view remote_url, const std::string& token);

// "refs/remotes/<remote>/<branch>".
std::string tracking_ref(const std::string& remote, const std::string& branch);

// The commit HEAD names, when it is a well-formed id.
std::optional<ObjectId> head_commit_id(const Repository& repo);
