#include "hub/rest_client.h"

#include <cctype>
#include <nlohmann/json.hpp>

#include "hub/safe_text.h"
#include "net/http_client.h"
#include "net/hub_url.h"
#include "store/config.h"
#include "store/repo.h"
#include "util/text.h"

using nlohmann::json;

namespace {

bool fail(std::string* error, std::string reason) {
  if (error != nullptr) *error = std::move(reason);
  return false;
}

// Owner and repository names reach the URL percent-encoded, so a name from a
// configuration file or the command line cannot add path steps or a query.
std::string encode_path_segment(std::string_view text) {
  static const char k_hex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || c == '-' || c == '.' || c == '_' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += k_hex[byte >> 4];
      out += k_hex[byte & 15];
    }
  }
  return out;
}

enum class Verb { get, post };

// One exchange with the REST API: the body of a 2xx answer, or nothing with
// the reason in *error.
std::optional<std::string> exchange(const std::string& token, Verb verb, const std::string& path,
                                    const std::string& body, std::string* error) {
  const std::string bearer(trim(token));
  if (bearer.empty()) {
    fail(error, "empty bearer token");
    return std::nullopt;
  }
  HttpClient client;
  const std::string url = hub_api_base_url() + path;
  HttpResponse response = verb == Verb::get
                              ? client.get(url, hub_read_headers(bearer), Redirects::stay)
                              : client.post(url, body, hub_json_headers(bearer));
  if (!response.error.empty()) {
    fail(error, response.error);
    return std::nullopt;
  }
  if (response.status < 200 || response.status > 299) {
    fail(error, "HTTP " + std::to_string(response.status) + ": " + response.body);
    return std::nullopt;
  }
  return std::move(response.body);
}

// A member read with its default when missing; one of another type throws
// the JSON library's type error.
template <typename T>
T member_or(const json& object, const char* key, T fallback) {
  auto it = object.find(key);
  return it == object.end() ? fallback : it->get<T>();
}

std::optional<std::string> optional_string(const json& object, const char* key) {
  auto it = object.find(key);
  if (it == object.end() || it->is_null()) return std::nullopt;
  return it->get<std::string>();
}

HubRepo read_repo(const json& element) {
  HubRepo repo;
  repo.id = member_or<int32_t>(element, "id", 0);
  repo.name = member_or<std::string>(element, "name", "");
  repo.owner_username = optional_string(element, "owner_username");
  repo.is_private = member_or<bool>(element, "is_private", false);
  repo.description = optional_string(element, "description");
  return repo;
}

HubPullRequest read_pull_request(const json& element) {
  HubPullRequest pull;
  pull.id = member_or<int32_t>(element, "id", 0);
  pull.title = member_or<std::string>(element, "title", "");
  pull.state = member_or<std::string>(element, "state", "");
  pull.head_sha = optional_string(element, "head_sha");
  return pull;
}

// Fetches `path` and reads its JSON array element by element with `read`.
template <typename T>
bool list_call(const std::string& token, const std::string& path, std::vector<T>& out,
               T (*read)(const json&), std::string* error) {
  out.clear();
  std::optional<std::string> body = exchange(token, Verb::get, path, {}, error);
  if (!body) return false;
  try {
    json list = json::parse(*body);
    if (!list.is_array()) return fail(error, "unexpected JSON (expected array)");
    for (const json& element : list) out.push_back(read(element));
    return true;
  } catch (const json::exception& e) {
    out.clear();
    return fail(error, e.what());
  }
}

// Fetches or posts and hands the parsed answer to `use`.
template <typename Use>
bool object_call(const std::string& token, Verb verb, const std::string& path,
                 const std::string& request, std::string* error, Use use) {
  std::optional<std::string> body = exchange(token, verb, path, request, error);
  if (!body) return false;
  try {
    use(json::parse(*body));
    return true;
  } catch (const json::exception& e) {
    return fail(error, e.what());
  }
}

}  // namespace

bool hub_list_repos(const std::string& token, std::vector<HubRepo>& repos, std::string* error) {
  return list_call(token, "/repos", repos, read_repo, error);
}

bool hub_list_pull_requests(const std::string& token, std::vector<HubPullRequest>& pulls,
                            std::string* error) {
  return list_call(token, "/pull-requests/", pulls, read_pull_request, error);
}

bool hub_clone_urls(const std::string& token, const std::string& owner, const std::string& repo,
                    HubCloneUrls& urls, std::string* error) {
  const std::string path =
      "/vcs/repos/" + encode_path_segment(owner) + "/" + encode_path_segment(repo) + "/urls";
  return object_call(token, Verb::get, path, {}, error, [&](const json& answer) {
    urls.http = member_or<std::string>(answer, "http_clone_url", "");
    urls.ssh = member_or<std::string>(answer, "ssh_clone_url", "");
  });
}

std::optional<OwnerRepo> parse_origin_owner_repo(const std::string& url) {
  const std::string marker = ".orrery/";
  const size_t at = url.find(marker);
  if (at == std::string::npos) return std::nullopt;
  std::string tail = url.substr(at + marker.size());
  while (!tail.empty() && tail.back() == '/') tail.pop_back();
  const size_t slash = tail.find('/');
  if (slash == std::string::npos) return std::nullopt;
  OwnerRepo result{tail.substr(0, slash), tail.substr(slash + 1)};
  const std::string suffix = ".orrery";
  if (result.repo.size() >= 8 && result.repo.ends_with(suffix)) {
    result.repo.resize(result.repo.size() - suffix.size());
  }
  if (result.owner.empty() || result.repo.empty()) return std::nullopt;
  return result;
}

bool hub_repo_id_for_origin(const std::string& token, const std::string& root, int32_t& id,
                            std::string* error) {
  if (!is_initialized(root)) return fail(error, "not a orrery repository");
  const RepoConfig config = load_config(Repository(root));
  auto origin = config.remotes.find("origin");
  if (origin == config.remotes.end()) return fail(error, "remote origin is not configured");
  std::optional<OwnerRepo> names = parse_origin_owner_repo(origin->second.url);
  if (!names) return fail(error, "cannot parse owner/repo from origin URL");
  const std::string path = "/repos/by-path/" + encode_path_segment(names->owner) + "/" +
                           encode_path_segment(names->repo);
  return object_call(token, Verb::get, path, {}, error,
                     [&](const json& answer) { id = member_or<int32_t>(answer, "id", 0); });
}

std::string pull_request_body(int32_t repository_id, const std::string& title,
                              const std::string& head_sha, const std::string& head_branch) {
  const json body = {{"head_branch", head_branch},
                     {"head_sha", head_sha},
                     {"repository_id", repository_id},
                     {"title", title}};
  return body.dump(-1, ' ', false, json::error_handler_t::replace);
}

bool hub_create_pull_request(const std::string& token, int32_t repository_id,
                             const std::string& title, const std::string& head_sha,
                             const std::string& head_branch, int32_t& id, std::string* error) {
  const std::string body = pull_request_body(repository_id, title, head_sha, head_branch);
  return object_call(token, Verb::post, "/pull-requests/", body, error,
                     [&](const json& answer) { id = member_or<int32_t>(answer, "id", 0); });
}

bool hub_merge_pull_request(const std::string& token, int32_t id, const std::string& method,
                            std::string* error) {
  const std::string path =
      "/pull-requests/" + std::to_string(id) + "/merge?merge_method=" + encode_path_segment(method);
  return exchange(token, Verb::post, path, "{}", error).has_value();
}
