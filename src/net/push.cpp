#include "net/push.h"

#include <algorithm>
#include <iterator>
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
#include "store/refs.h"
#include "store/repo.h"

namespace {

PushTarget resolve_target(const SyncSettings& settings, const PushOptions& options) {
  const std::vector<std::string>& positionals = options.positionals;
  PushTarget target;
  if (!positionals.empty()) {
    if (std::optional<std::string> url = settings.remote_url(positionals[0])) {
      target.remote = positionals[0];
      target.url = *url;
    } else {
      target.url = positionals[0];
    }
  } else {
    const NamedRemote remote = default_remote(settings);
    target.remote = remote.name;
    target.url = remote.url;
  }
  target.branch =
      positionals.size() == 2 ? positionals[1] : settings.default_branch(settings.current_branch);
  // -u with a URL records it as origin, which then names the tracking reference.
  if (!target.remote.empty()) {
    target.tracking = target.remote;
  } else {
    target.tracking = options.set_upstream ? "origin" : settings.default_remote();
  }
  if (std::optional<ArgError> bad = check_tracking_names(target.tracking, target.branch)) {
    throw CommandError(std::move(*bad));
  }
  return target;
}

// Records the remote and branch as the current branch's upstream (a URL as
// remote origin). Saved at once, so it stays even when the push then fails.
void record_upstream(const Repository& repo, SyncSettings& settings, PushTarget& target) {
  RepoConfig& config = settings.config;
  if (target.remote.empty()) {
    auto origin = config.remotes.find("origin");
    if (origin != config.remotes.end() && origin->second.url != target.url) {
      throw CommandError(
          "нельзя привязать upstream: уже есть origin с другим URL",
          "укажи именованный remote (orrery remote add ...) или см. orrery help push");
    }
    config.remotes["origin"].url = target.url;
    target.remote = "origin";
  }
  BranchConfig& entry = config.branches[settings.current_branch];
  entry.upstream_remote = target.remote;
  entry.upstream_branch = target.branch;
  save_config(repo, config);
}

HttpHeaders with_header(HttpHeaders headers, std::string line) {
  headers.push_back(std::move(line));
  return headers;
}

// What the server says it lacks, limited to what the push may send: a
// server cannot ask for objects outside the pushed history.
std::set<ObjectId> objects_to_send(HttpClient& client, const std::string& url,
                                   const std::set<ObjectId>& all, const HttpHeaders& headers) {
  std::set<ObjectId> missing = negotiate_missing(client, url, all, {}, headers);
  std::set<ObjectId> send;
  std::set_intersection(missing.begin(), missing.end(), all.begin(), all.end(),
                        std::inserter(send, send.end()));
  return send.empty() ? all : send;
}

// One PUT per object, in ascending id order; objects missing locally are
// skipped.
void put_objects(const Repository& repo, HttpClient& client, const std::string& base,
                 const std::set<ObjectId>& ids, const HttpHeaders& headers, Progress& progress) {
  for (const ObjectId& id : ids) {
    std::optional<std::string> stored = read_raw_object(repo.objects, id);
    if (!stored) continue;
    const std::string url = base + "objects/" + id;
    HttpResponse response = client.put(url, *stored, headers);
    if (is_failed_exchange(response)) {
      throw CommandError("не удалось отправить объект " + id,
                         format_http_failure("PUT", url, response));
    }
    progress.add_items();
  }
}

// The transfer stream in one request, else one PUT per object. The stream
// carries loose objects only, so after a gc the packed ones follow it one
// PUT each: without them the server would refuse the branch update.
void upload_objects(const Repository& repo, HttpClient& client, const PushTarget& target,
                    const std::set<ObjectId>& send, const HttpHeaders& headers,
                    Progress& progress) {
  const std::string base = sync_base_url(target.url);
  const HttpHeaders binary = with_header(headers, "Content-Type: application/octet-stream");
  HttpResponse posted =
      client.post(base + "packs/" + target.branch, build_transfer_pack(repo.root, send), binary);
  if (!posted.error.empty() || posted.status < 1 || posted.status > 399) {
    put_objects(repo, client, base, send, binary, progress);
    return;
  }
  std::set<ObjectId> packed;
  for (const ObjectId& id : send) {
    if (!path_exists(loose_object_path(repo.root, id))) packed.insert(packed.end(), id);
  }
  progress.add_items(send.size() - packed.size());
  put_objects(repo, client, base, packed, binary, progress);
}

// The guarded PUT of the remote branch.
void update_remote_branch(HttpClient& client, const PushTarget& target, ForceMode force,
                          const ObjectId& head, const std::optional<ObjectId>& lease,
                          const HttpHeaders& headers) {
  HttpHeaders update = with_header(headers, "Content-Type: text/plain");
  if (lease && force != ForceMode::force) update.push_back("X-Orrery-Expected-Old: " + *lease);
  const std::string url = sync_base_url(target.url) + "refs/" + target.branch;
  HttpResponse response = client.put(url, head, update);
  if (!is_failed_exchange(response)) return;
  if (response.error.empty() && (response.status == 409 || response.status == 412)) {
    throw CommandError("push rejected (non-fast-forward / expected-old mismatch)",
                       "сделай orrery fetch и интегрируй изменения (merge/rebase), либо повтори с "
                       "--force-with-lease / --force");
  }
  throw CommandError("не удалось обновить ref на удалённом",
                     format_http_failure("PUT", url, response));
}

// The tracking reference's commit, the lease of a guarded update. A value
// that is not an id never reaches a header.
std::optional<ObjectId> read_lease(const Repository& repo, const PushTarget& target,
                                   ForceMode force) {
  const std::string name = tracking_ref(target.tracking, target.branch);
  std::optional<ObjectId> lease = read_ref(repo.root, name);
  if (lease && !is_canonical_object_id(*lease)) {
    throw CommandError("повреждена ссылка " + name, "удали её или сделай orrery fetch");
  }
  if (force == ForceMode::lease && !lease) {
    throw CommandError("push --force-with-lease: нет local remote-tracking " + name,
                       "сначала сделай orrery fetch, либо используй --force (без lease)");
  }
  return lease;
}

void push_commit(const Repository& repo, const PushTarget& target, ForceMode force,
                 const ObjectId& head, const std::string& token, Progress& progress) {
  std::set<ObjectId> all;
  collect_reachable(repo, head, all);
  HttpClient client;
  const HttpHeaders headers = sync_headers(token);
  const std::set<ObjectId> send = objects_to_send(client, target.url, all, headers);
  progress.set_total(send.size());
  client.set_progress(&progress);
  upload_objects(repo, client, target, send, headers, progress);
  client.set_progress(nullptr);
  progress.finish();
  const std::optional<ObjectId> lease = read_lease(repo, target, force);
  update_remote_branch(client, target, force, head, lease, headers);
  update_ref(repo, tracking_ref(target.tracking, target.branch), head);
}

}  // namespace

Parsed<PushOptions> parse_push_args(const Args& args) {
  PushOptions options;
  for (const std::string& arg : args) {
    if (arg == "-u" || arg == "--set-upstream") {
      options.set_upstream = true;
    } else if (arg == "-f" || arg == "--force") {
      options.force = ForceMode::force;
    } else if (arg == "--force-with-lease") {
      options.force = ForceMode::lease;
    } else {
      options.positionals.push_back(arg);
    }
  }
  if (options.positionals.size() > 2) return help_error("push");
  return options;
}

PushResult do_push(const Repository& repo, const PushOptions& options, Progress& progress) {
  SyncSettings settings = load_sync_settings(repo);
  PushResult result{resolve_target(settings, options)};
  if (options.set_upstream) record_upstream(repo, settings, result.target);
  std::optional<ObjectId> head = head_commit_id(repo);
  if (!head) throw CommandError("нет коммитов для отправки", "сначала сделай коммит");
  const std::string token = current_token().value_or("");
  require_token_for(result.target.url, token);
  push_commit(repo, result.target, options.force, *head, token, progress);
  return result;
}

void print_push(const PushResult& result) {
  out_stream() << "Отправлено " << result.target.branch << " на " << result.target.url << "\n";
}

int cmd_push(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"push"});
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  Parsed<PushOptions> options = parse_push_args(args);
  if (const ArgError* error = std::get_if<ArgError>(&options)) return report_arg_error(*error);
  return report_command_error([&] {
    Progress progress("Отправка объектов");
    print_push(do_push(*repo, std::get<PushOptions>(options), progress));
    return 0;
  });
}
