#include "net/sync_protocol.h"

#include <algorithm>
#include <deque>
#include <nlohmann/json.hpp>
#include <unordered_set>
#include <vector>

#include "store/object_check.h"
#include "store/object_links.h"
#include "store/repo.h"

using nlohmann::json;

namespace {

bool starts_with(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

HttpHeaders with_header(HttpHeaders headers, std::string line) {
  headers.push_back(std::move(line));
  return headers;
}

// A JSON array of the ids, written directly: a have list holds every object
// of the history, and a document tree of them costs more than the request.
void append_id_array(std::string& out, const std::set<ObjectId>& ids) {
  out.push_back('[');
  for (const ObjectId& id : ids) {
    if (out.back() != '[') out.push_back(',');
    if (is_canonical_object_id(id)) {
      out.append("\"").append(id).append("\"");
    } else {
      out.append(json(id).dump());
    }
  }
  out.push_back(']');
}

}  // namespace

std::string sync_base_url(std::string_view remote_url) {
  std::string base(remote_url);
  if (base.empty() || base.back() != '/') base.push_back('/');
  return base;
}

bool needs_hub_auth(std::string_view remote_url) {
  if (!starts_with(remote_url, "http://") && !starts_with(remote_url, "https://")) return false;
  for (std::string_view loopback : {"127.0.0.1", "localhost", "[::1]"}) {
    if (remote_url.find(loopback) != std::string_view::npos) return false;
  }
  return true;
}

HttpHeaders sync_headers(const std::string& token) {
  HttpHeaders headers;
  if (!token.empty() && is_sendable_token(token))
    headers.push_back("Authorization: Bearer " + token);
  headers.push_back("X-Orrery-Protocol: 1");
  return headers;
}

void collect_reachable(const Repository& repo, const ObjectId& commit, std::set<ObjectId>& out) {
  // Ids are gathered unsorted (a deque keeps them in place for the views of
  // `seen`) and put into the ordered set once at the end, in order, so that
  // every insertion is a hinted one.
  std::unordered_set<std::string_view> seen(out.begin(), out.end());
  std::deque<ObjectId> found;
  std::vector<ObjectLink> stack{{commit, "commit"}};
  while (!stack.empty()) {
    ObjectLink item = std::move(stack.back());
    stack.pop_back();
    if (seen.count(item.id)) continue;
    const ObjectId& id = found.emplace_back(std::move(item.id));
    seen.insert(id);
    if (item.type == "blob") continue;
    std::optional<Object> object = read_object_of_type(repo.objects, id, item.type);
    if (!object) continue;
    // Pushed in reverse, so that parents come before the tree and entries in
    // the tree's order, as a recursive walk would visit them.
    std::vector<ObjectLink> links = object_links(*object).links;
    stack.insert(stack.end(), std::make_move_iterator(links.rbegin()),
                 std::make_move_iterator(links.rend()));
  }
  std::sort(found.begin(), found.end());
  for (ObjectId& id : found) out.insert(out.end(), std::move(id));
}

std::string want_have_document(const std::set<ObjectId>& want, const std::set<ObjectId>& have) {
  std::string document;
  document.reserve(32 + 67 * (want.size() + have.size()));
  document.append("{\"have\":");
  append_id_array(document, have);
  document.append(",\"proto\":1,\"want\":");
  append_id_array(document, want);
  document.push_back('}');
  return document;
}

std::set<ObjectId> parse_missing_list(std::string_view body) {
  json answer = json::parse(body, nullptr, false);
  std::set<ObjectId> ids;
  if (!answer.is_object()) return ids;
  auto missing = answer.find("missing");
  if (missing == answer.end() || !missing->is_array()) return ids;
  for (const json& element : *missing) {
    if (element.is_string() && is_canonical_object_id(element.get_ref<const std::string&>())) {
      ids.insert(element.get<std::string>());
    }
  }
  return ids;
}

std::string request_pack(HttpClient& client, std::string_view remote_url,
                         const std::set<ObjectId>& want, const std::set<ObjectId>& have,
                         const HttpHeaders& headers) {
  HttpResponse response =
      client.post(sync_base_url(remote_url) + "packs", want_have_document(want, have),
                  with_header(headers, "Content-Type: application/json"));
  if (is_failed_exchange(response)) return {};
  return std::move(response.body);
}

std::set<ObjectId> negotiate_missing(HttpClient& client, std::string_view remote_url,
                                     const std::set<ObjectId>& want, const std::set<ObjectId>& have,
                                     const HttpHeaders& headers) {
  HttpResponse response =
      client.post(sync_base_url(remote_url) + "negotiate", want_have_document(want, have),
                  with_header(headers, "Content-Type: application/json"));
  if (is_failed_exchange(response) || response.body.empty()) return {};
  return parse_missing_list(response.body);
}

bool is_failed_exchange(const HttpResponse& response) {
  return !response.error.empty() || response.status >= 400;
}
