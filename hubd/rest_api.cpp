#include "hubd/rest_api.h"

#include <charconv>
#include <nlohmann/json.hpp>

#include "hubd/access.h"
#include "hubd/db.h"
#include "hubd/pull_requests.h"
#include "hubd/ssh_keys.h"
#include "hubd/store_gate.h"

namespace {

using nlohmann::json;

constexpr std::string_view k_prefix = "/api/v1/";
constexpr size_t k_max_description = 1000;

std::vector<std::string> split_path(std::string_view path) {
  std::vector<std::string> segments;
  while (!path.empty()) {
    const size_t slash = path.find('/');
    segments.emplace_back(path.substr(0, slash));
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return segments;
}

std::string clone_url(const HubContext& hub, const RepoRecord& repo) {
  return hub.public_url + "/.orrery/" + repo.owner + "/" + repo.name + ".orrery";
}

json repo_json(const HubContext& hub, const RepoRecord& repo) {
  return {{"id", repo.id},
          {"name", repo.name},
          {"owner_username", repo.owner},
          {"is_private", repo.is_private},
          {"description", repo.description},
          {"default_branch", repo.default_branch},
          {"http_clone_url", clone_url(hub, repo)}};
}

// The repository owner/name names when the user may read it.
std::optional<RepoRecord> visible_repo(const ApiCall& call, const std::string& owner,
                                       const std::string& name) {
  if (!is_valid_user_name(owner) || !is_valid_repo_name(name)) return std::nullopt;
  std::optional<RepoRecord> repo = find_repo(call.hub.db, owner, name);
  if (!repo || !can_read(call.user, *repo)) return std::nullopt;
  return repo;
}

Reply repo_not_found() { return api_error(404, "репозиторий не найден"); }

Reply list_repos(const ApiCall& call) {
  json list = json::array();
  for (const RepoRecord& repo : list_repos_of(call.hub.db, call.user)) {
    list.push_back(repo_json(call.hub, repo));
  }
  return api_json(200, list.dump());
}

// Reads a member of the body: absent gives `fallback`; another type fails.
template <typename T>
bool read_member(const json& body, const char* key, T& out) {
  auto found = body.find(key);
  if (found == body.end() || found->is_null()) return true;
  if constexpr (std::is_same_v<T, bool>) {
    if (!found->is_boolean()) return false;
  } else {
    if (!found->is_string()) return false;
  }
  out = found->get<T>();
  return true;
}

Reply create_repo(const ApiCall& call) {
  json body = json::parse(call.request.body, nullptr, false);
  std::string name, description;
  bool is_private = false;
  if (!body.is_object() || !read_member(body, "name", name) ||
      !read_member(body, "description", description) ||
      !read_member(body, "is_private", is_private)) {
    return api_error(400, "ожидается JSON {\"name\": …, \"is_private\": …, \"description\": …}");
  }
  if (!is_valid_repo_name(name)) {
    return api_error(422,
                     "недопустимое имя репозитория: латинские буквы, цифры, '-', '_' и '.', "
                     "до 100 знаков, не оканчивается на .orrery");
  }
  if (description.size() > k_max_description || !is_printable_text(description)) {
    return api_error(422, "описание: до 1000 байт текста без управляющих символов");
  }
  RepoRecord repo;
  try {
    repo = add_repo(call.hub.db, call.user, name, is_private, description);
  } catch (const DbConstraintError&) {
    return api_error(409, "репозиторий уже существует: " + call.user.name + "/" + name);
  }
  ensure_store(repo_root(call.hub.data_dir, repo.id));
  return api_json(201, repo_json(call.hub, repo).dump());
}

Reply serve_repos(const ApiCall& call) {
  const auto& s = call.segments;
  const std::string& method = call.request.method;
  if (s.size() == 1) {
    if (method == "GET") return list_repos(call);
    if (method == "POST") return create_repo(call);
    return method_not_allowed();
  }
  if (s.size() == 4 && s[1] == "by-path") {
    if (method != "GET") return method_not_allowed();
    std::optional<RepoRecord> repo = visible_repo(call, s[2], s[3]);
    if (!repo) return repo_not_found();
    return api_json(200, repo_json(call.hub, *repo).dump());
  }
  return api_error(404, "не найдено");
}

// GET /vcs/repos/<owner>/<repo>/urls
Reply serve_clone_urls(const ApiCall& call) {
  const auto& s = call.segments;
  if (s.size() != 5 || s[1] != "repos" || s[4] != "urls") return api_error(404, "не найдено");
  if (call.request.method != "GET") return method_not_allowed();
  std::optional<RepoRecord> repo = visible_repo(call, s[2], s[3]);
  if (!repo) return repo_not_found();
  return api_json(
      200, json{{"http_clone_url", clone_url(call.hub, *repo)}, {"ssh_clone_url", ""}}.dump());
}

Reply serve_user(const ApiCall& call) {
  if (call.segments.size() != 1) return api_error(404, "не найдено");
  if (call.request.method != "GET") return method_not_allowed();
  return api_json(200, json{{"id", call.user.id}, {"username", call.user.name}}.dump());
}

Reply unauthorized(std::string_view message) {
  Reply reply = api_error(401, message);
  reply.headers.emplace_back("WWW-Authenticate", "Bearer");
  return reply;
}

}  // namespace

Reply api_json(int status, std::string json_text) {
  return {status, std::move(json_text), "application/json", {{"Cache-Control", "no-store"}}};
}

Reply api_error(int status, std::string_view message) {
  return api_json(status, json{{"message", message}}.dump());
}

Reply method_not_allowed() { return api_error(405, "метод не поддерживается"); }

bool can_read(const User& user, const RepoRecord& repo) {
  return decide_access({&repo, &user, repo.owner, Need::read, false}).verdict == Verdict::allow;
}

std::optional<int64_t> parse_id(std::string_view text) {
  int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty() || text[0] == '-' ||
      value < 1 || value > (int64_t{1} << 53)) {
    return std::nullopt;
  }
  return value;
}

Reply serve_api(const HubContext& hub, const WebRequest& request) {
  const std::string token = bearer_token(request.authorization);
  if (token.empty()) return unauthorized("нужен токен доступа (Authorization: Bearer …)");
  std::optional<User> user = user_for_token(hub.db, token);
  if (!user) return unauthorized("токен недействителен или истёк");

  std::string_view path = request.path;
  if (path.substr(0, k_prefix.size()) != k_prefix) return api_error(404, "не найдено");
  path.remove_prefix(k_prefix.size());
  if (!path.empty() && path.back() == '/') path.remove_suffix(1);
  ApiCall call{hub, request, *user, split_path(path)};
  for (const std::string& segment : call.segments) {
    if (segment.empty()) return api_error(404, "не найдено");
  }
  const std::string first = call.segments.empty() ? "" : call.segments[0];
  if (first == "user") return serve_user(call);
  if (first == "repos") return serve_repos(call);
  if (first == "vcs") return serve_clone_urls(call);
  if (first == "pull-requests") return serve_pull_requests(call);
  if (first == "auth" && call.segments.size() >= 2 && call.segments[1] == "ssh-keys") {
    return serve_ssh_keys(call);
  }
  return api_error(404, "не найдено");
}
