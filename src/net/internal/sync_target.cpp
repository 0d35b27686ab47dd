#include "net/internal/sync_target.h"

#include "cli/command_error.h"
#include "net/hub_url.h"
#include "net/sync_protocol.h"
#include "store/object_check.h"
#include "store/refs.h"
#include "store/repo.h"
#include "worktree/branch.h"

std::string SyncSettings::default_remote() const {
  if (upstream.upstream_remote) return *upstream.upstream_remote;
  return config.upstream_remote.value_or("origin");
}

std::string SyncSettings::default_branch(const std::string& fallback) const {
  if (upstream.upstream_branch) return *upstream.upstream_branch;
  return config.upstream_branch.value_or(fallback);
}

std::optional<std::string> SyncSettings::remote_url(const std::string& name) const {
  auto it = config.remotes.find(name);
  if (it == config.remotes.end()) return std::nullopt;
  return it->second.url;
}

SyncSettings load_sync_settings(const Repository& repo) {
  SyncSettings settings;
  settings.config = load_config(repo);
  std::optional<std::string> symref = head_symref(repo);
  constexpr std::string_view k_heads = "refs/heads/";
  settings.current_branch =
      symref && symref->rfind(k_heads, 0) == 0 ? symref->substr(k_heads.size()) : "main";
  auto entry = settings.config.branches.find(settings.current_branch);
  if (entry != settings.config.branches.end()) settings.upstream = entry->second;
  return settings;
}

NamedRemote default_remote(const SyncSettings& settings) {
  const std::string name = settings.default_remote();
  std::optional<std::string> url = settings.remote_url(name);
  if (!url) {
    throw CommandError("удалённый не задан: " + name,
                       "добавь его: orrery remote add " + name + " <url>");
  }
  return NamedRemote{name, *url};
}

namespace {

// A name that becomes a file, a line of the configuration and part of a URL.
bool is_sync_name(std::string_view name) {
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  }
  return is_valid_ref_name(name);
}

}  // namespace

std::optional<ArgError> check_tracking_names(const std::string& remote, const std::string& branch) {
  if (!is_sync_name(branch)) return ArgError{"недопустимое имя ветки: " + branch, ""};
  if (!is_sync_name(remote)) return ArgError{"недопустимое имя удалённого: " + remote, ""};
  return std::nullopt;
}

void require_token_for(std::string_view remote_url, const std::string& token) {
  if (!token.empty() || !needs_hub_auth(remote_url)) return;
  throw CommandError(
      "нет авторизации для Orrery Hub",
      "выполни orrery login (OAuth device flow на " + url_host(hub_base_url()) + ")");
}

std::string tracking_ref(const std::string& remote, const std::string& branch) {
  return "refs/remotes/" + remote + "/" + branch;
}

std::optional<ObjectId> head_commit_id(const Repository& repo) {
  std::optional<ObjectId> head = head_commit(repo);
  if (!head || !is_canonical_object_id(*head)) return std::nullopt;
  return head;
}
