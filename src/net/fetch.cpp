#include "net/fetch.h"

#include <cctype>
#include <map>
#include <set>
#include <vector>

#include "cli/command_error.h"
#include "cli/help.h"
#include "cli/open_repo.h"
#include "cli/progress.h"
#include "hub/credentials.h"
#include "net/http_client.h"
#include "net/internal/sync_target.h"
#include "net/sync_protocol.h"
#include "pack/transfer.h"
#include "store/fs.h"
#include "store/object_check.h"
#include "store/object_links.h"
#include "store/refs.h"
#include "store/repo.h"

// A fetch never trusts the server: every object is inflated and hashed
// before anything is written, and the walk from the remote commit must find
// every object it reaches either among the received ones or already in the
// store. Only then are the objects written (under one lock) and the
// tracking reference moved, so a lying or interrupted server leaves nothing
// behind.

namespace {

// Objects that arrived and passed check_received, by id.
struct ReceivedObject {
  std::string_view stored;
  std::vector<ObjectLink> links;
};
using ReceivedObjects = std::map<ObjectId, ReceivedObject>;

CommandError object_failure(const ObjectId& id, std::string hint) {
  return {"не удалось получить объект " + id, std::move(hint)};
}

// The remote commit named by a refs answer: its body without trailing white
// space, which must be an id before it may become a request or a file.
ObjectId remote_commit(HttpClient& client, const std::string& url, const HttpHeaders& headers) {
  HttpResponse response = client.get(url, headers, Redirects::follow);
  if (is_failed_exchange(response)) {
    throw CommandError("не удалось получить ref", format_http_failure("GET", url, response));
  }
  std::string_view body = response.body;
  while (!body.empty() && std::isspace(static_cast<unsigned char>(body.back()))) {
    body.remove_suffix(1);
  }
  if (!is_canonical_object_id(body)) {
    throw CommandError("не удалось получить ref",
                       "GET " + redact_url_credentials(url) + " — в ответе нет id коммита");
  }
  return ObjectId(body);
}

// The pack of the want/have request, else the branch's pack; empty when the
// server offers neither.
std::string download_pack(HttpClient& client, const FetchTarget& target, const ObjectId& remote_id,
                          const std::set<ObjectId>& have, const HttpHeaders& headers) {
  std::string pack = request_pack(client, target.url, {remote_id}, have, headers);
  if (!pack.empty()) return pack;
  HttpResponse response =
      client.get(sync_base_url(target.url) + "packs/" + target.branch, headers, Redirects::follow);
  if (!response.error.empty() || response.status < 1 || response.status > 399) return {};
  return std::move(response.body);
}

// What the object names, when its bytes match its id and, for a tree or
// commit, its content parses and names only well-formed ids.
std::optional<std::vector<ObjectLink>> check_received(std::string_view id,
                                                      std::string_view stored) {
  std::optional<Object> object = check_stored_object(id, stored);
  if (!object) return std::nullopt;
  ObjectLinks links = object_links(*object);
  if (links.damaged) return std::nullopt;
  return std::move(links.links);
}

bool has_local_object(const Repository& repo, const ObjectId& id) {
  return path_exists(loose_object_path(repo.root, id)) ||
         read_raw_object(repo.objects, id).has_value();
}

// Every record of the stream, checked; nothing when one is malformed or does
// not match its id. Records of objects with a loose file are skipped:
// storing the stream leaves those files as they are. (An object only in a
// pack is checked: its record becomes a loose file that would hide the
// packed one.)
std::optional<ReceivedObjects> check_pack(const Repository& repo, std::string_view pack,
                                          Progress& progress) {
  std::optional<std::vector<TransferRecord>> records = parse_transfer_stream(pack);
  if (!records) return std::nullopt;
  ReceivedObjects received;
  for (const TransferRecord& record : *records) {
    if (is_canonical_object_id(record.id) && path_exists(loose_object_path(repo.root, record.id))) {
      continue;
    }
    std::optional<std::vector<ObjectLink>> links = check_received(record.id, record.stored);
    if (!links) return std::nullopt;
    received[ObjectId(record.id)] = {record.stored, std::move(*links)};
    progress.add_items();
  }
  return received;
}

// The first object reachable from `tip` that is neither received nor in the
// store; nothing when the history is complete. The walk stops at objects of
// the local history (`have`), whose own history the store already holds.
std::optional<ObjectId> find_missing_object(const Repository& repo, const ReceivedObjects& received,
                                            const ObjectId& tip, const std::set<ObjectId>& have) {
  std::vector<ObjectLink> stack{{tip, "commit"}};
  std::set<ObjectId> seen;
  while (!stack.empty()) {
    ObjectLink link = std::move(stack.back());
    stack.pop_back();
    if (!seen.insert(link.id).second) continue;
    std::vector<ObjectLink> links;
    if (auto it = received.find(link.id); it != received.end()) {
      links = it->second.links;
    } else if (have.count(link.id) || link.type == "blob") {
      if (!has_local_object(repo, link.id)) return link.id;
    } else if (std::optional<Object> local =
                   read_object_of_type(repo.objects, link.id, link.type)) {
      links = object_links(*local).links;
    } else {
      return link.id;
    }
    stack.insert(stack.end(), links.begin(), links.end());
  }
  return std::nullopt;
}

// Downloads the remote commit and everything below it one object at a time,
// in ascending id order, checking each. `bodies` keeps the stored bytes the
// received objects point into.
void download_objects(HttpClient& client, const FetchTarget& target, const ObjectId& remote_id,
                      const HttpHeaders& headers, std::map<ObjectId, std::string>& bodies,
                      ReceivedObjects& received, Progress& progress) {
  std::set<ObjectId> work{remote_id};
  while (!work.empty()) {
    ObjectId id = *work.begin();
    work.erase(work.begin());
    if (received.count(id)) continue;
    const std::string url = sync_base_url(target.url) + "objects/" + id;
    HttpResponse response = client.get(url, headers, Redirects::follow);
    if (is_failed_exchange(response)) {
      throw object_failure(id, format_http_failure("GET", url, response));
    }
    std::string& stored = bodies[id] = std::move(response.body);
    std::optional<std::vector<ObjectLink>> links = check_received(id, stored);
    if (!links) throw object_failure(id, "содержимое не соответствует id объекта");
    for (const ObjectLink& link : *links) work.insert(link.id);
    received[id] = {stored, std::move(*links)};
    progress.add_items();
  }
}

std::string as_transfer_stream(const ReceivedObjects& received) {
  std::string stream;
  for (const auto& [id, object] : received) {
    append_transfer_record(stream, id, object.stored, 0);
  }
  return stream;
}

// Whether the tracking reference already names the remote commit. It moves
// only once the history below its commit is complete (here or after a
// push of local history), so there is nothing to download or walk: a fetch
// with nothing new costs one request.
bool is_known_complete(const Repository& repo, const FetchTarget& target,
                       const ObjectId& remote_id) {
  return read_ref(repo.root, tracking_ref(target.remote, target.branch)) == remote_id &&
         has_local_object(repo, remote_id);
}

// Downloads the branch's remote commit and everything below it that the
// store lacks, checks it and stores it; answers the commit.
ObjectId fetch_branch(const Repository& repo, const FetchTarget& target, const std::string& token,
                      Progress& progress) {
  HttpClient client;
  const HttpHeaders headers = sync_headers(token);
  const ObjectId remote_id =
      remote_commit(client, sync_base_url(target.url) + "refs/" + target.branch, headers);
  if (is_known_complete(repo, target, remote_id)) return remote_id;

  std::set<ObjectId> have;
  if (std::optional<ObjectId> head = head_commit_id(repo)) collect_reachable(repo, *head, have);
  client.set_progress(&progress);
  std::string pack = download_pack(client, target, remote_id, have, headers);
  std::map<ObjectId, std::string> bodies;
  ReceivedObjects received;
  if (!pack.empty()) {
    std::optional<ReceivedObjects> checked = check_pack(repo, pack, progress);
    if (!checked) throw CommandError("не удалось распаковать pack", "");
    received = std::move(*checked);
    if (std::optional<ObjectId> missing = find_missing_object(repo, received, remote_id, have)) {
      throw object_failure(*missing, "его нет ни в pack, ни в репозитории");
    }
  } else {
    download_objects(client, target, remote_id, headers, bodies, received, progress);
  }
  if (!store_transfer_pack(repo.root, pack.empty() ? as_transfer_stream(received) : pack)) {
    throw CommandError("не удалось распаковать pack", "");
  }
  return remote_id;
}

// The target of the positionals (none, a remote name or URL, then a branch)
// under the repository's configuration; throws CommandError when the
// default remote is not configured or a name may not become a reference.
FetchTarget resolve_fetch_target(const Repository& repo, const Args& positionals) {
  const SyncSettings settings = load_sync_settings(repo);
  FetchTarget target;
  if (positionals.empty()) {
    const NamedRemote remote = default_remote(settings);
    target = {remote.name, remote.url, ""};
  } else if (std::optional<std::string> url = settings.remote_url(positionals[0])) {
    target = {positionals[0], *url, ""};
  } else {
    target = {"origin", positionals[0], ""};
  }
  target.branch = positionals.size() == 2 ? positionals[1] : settings.default_branch("main");
  if (std::optional<ArgError> bad = check_tracking_names(target.remote, target.branch)) {
    throw CommandError(std::move(*bad));
  }
  return target;
}

}  // namespace

Parsed<FetchOptions> parse_fetch_args(const Args& args) {
  if (args.size() > 2) return help_error("fetch");
  return FetchOptions{args};
}

FetchResult do_fetch(const Repository& repo, const FetchOptions& opts, Progress& progress) {
  FetchResult result;
  result.target = resolve_fetch_target(repo, opts.positionals);
  const std::string token = current_token().value_or("");
  require_token_for(result.target.url, token);
  result.commit = fetch_branch(repo, result.target, token, progress);
  progress.finish();
  result.tracking_ref = tracking_ref(result.target.remote, result.target.branch);
  update_ref(repo, result.tracking_ref, result.commit);
  return result;
}

void print_fetch(const FetchResult& result) {
  out_stream() << "Скачано " << result.target.branch << " с " << result.target.url << "\n";
}

int cmd_fetch(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"fetch"});
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  Parsed<FetchOptions> opts = parse_fetch_args(args);
  if (const ArgError* error = std::get_if<ArgError>(&opts)) return report_arg_error(*error);
  return report_command_error([&] {
    Progress progress("Получение объектов");
    print_fetch(do_fetch(*repo, std::get<FetchOptions>(opts), progress));
    return 0;
  });
}
