#include "hubd/sync_path.h"

#include "worktree/branch.h"

namespace {

constexpr std::string_view k_prefix = "/.orrery/";
constexpr std::string_view k_repo_suffix = ".orrery";

// The text up to the next "/" (which is consumed), or nothing when there is
// none.
std::optional<std::string_view> take_segment(std::string_view& rest) {
  size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  std::string_view segment = rest.substr(0, slash);
  rest.remove_prefix(slash + 1);
  return segment;
}

std::optional<SyncTarget> with_endpoint(SyncTarget target, std::string_view rest) {
  struct Route {
    std::string_view prefix;
    SyncEndpoint endpoint;
  };
  static constexpr Route k_routes[] = {{"refs/", SyncEndpoint::ref},
                                       {"packs/", SyncEndpoint::branch_pack},
                                       {"objects/", SyncEndpoint::object}};
  if (rest == "packs" || rest == "negotiate") {
    target.endpoint = rest == "packs" ? SyncEndpoint::pack_query : SyncEndpoint::negotiate;
    return target;
  }
  for (const Route& route : k_routes) {
    if (rest.substr(0, route.prefix.size()) == route.prefix && rest.size() > route.prefix.size()) {
      target.endpoint = route.endpoint;
      target.argument = rest.substr(route.prefix.size());
      return target;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<SyncTarget> parse_sync_target(std::string_view target) {
  if (target.substr(0, k_prefix.size()) != k_prefix) return std::nullopt;
  std::string_view rest = target.substr(k_prefix.size());
  std::optional<std::string_view> owner = take_segment(rest);
  std::optional<std::string_view> repo = take_segment(rest);
  if (!owner || !repo || repo->size() <= k_repo_suffix.size() ||
      repo->substr(repo->size() - k_repo_suffix.size()) != k_repo_suffix) {
    return std::nullopt;
  }
  repo->remove_suffix(k_repo_suffix.size());
  return with_endpoint({std::string(*owner), std::string(*repo), SyncEndpoint::ref, {}}, rest);
}

bool is_valid_branch_name(std::string_view name) {
  if (name.size() > 200 || !is_valid_ref_name(name)) return false;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7f || c == ' ' || c == '?' || c == '#' || c == '%') return false;
  }
  return true;
}

bool is_canonical_object_id(std::string_view id) {
  if (id.size() != 64) return false;
  for (char c : id) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}
