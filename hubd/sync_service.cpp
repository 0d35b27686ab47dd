#include "hubd/sync_service.h"

#include <nlohmann/json.hpp>
#include <set>

#include "hubd/branch_heads.h"
#include "hubd/object_check.h"
#include "pack/transfer.h"
#include "util/text.h"

// The server side of the sync protocol. A request is judged in two steps:
// admit_sync_request looks only at the request line and headers, so a
// refused upload can be answered before its body is read; serve_sync_call
// then does the work. A repository that is absent but may be created by the
// caller answers reads as an empty one and is recorded by the first write
// that passes its checks, so a refused write creates nothing.

namespace {

constexpr const char* k_octets = "application/octet-stream";

Reply text_reply(int status, std::string text) {
  return {status, std::move(text) + "\n", "text/plain; charset=utf-8"};
}

Reply refusal(int status) {
  switch (status) {
    case 401:
      return text_reply(401, "нужен токен доступа");
    case 403:
      return text_reply(403, "нет права записи в этот репозиторий");
    default:
      return text_reply(404, "репозиторий не найден");
  }
}

bool allows_method(SyncEndpoint endpoint, std::string_view method) {
  switch (endpoint) {
    case SyncEndpoint::ref:
    case SyncEndpoint::object:
      return method == "GET" || method == "PUT";
    case SyncEndpoint::branch_pack:
      return method == "GET" || method == "POST";
    case SyncEndpoint::pack_query:
    case SyncEndpoint::negotiate:
      return method == "POST";
  }
  return false;
}

Need need_of(const SyncTarget& target, std::string_view method) {
  const bool upload =
      method == "PUT" || (method == "POST" && target.endpoint == SyncEndpoint::branch_pack);
  return upload ? Need::write : Need::read;
}

// The checks on the request's form; a refusal, or nothing when it is sound.
std::optional<Reply> check_form(const SyncRequestHead& head, const SyncTarget& target) {
  if (!allows_method(target.endpoint, head.method))
    return text_reply(405, "метод не поддерживается");
  const bool names_branch =
      target.endpoint == SyncEndpoint::ref || target.endpoint == SyncEndpoint::branch_pack;
  if (names_branch && !is_valid_branch_name(target.argument)) {
    return text_reply(400, "недопустимое имя ветки");
  }
  if (target.endpoint == SyncEndpoint::object && !is_canonical_object_id(target.argument)) {
    return text_reply(400, "недопустимый идентификатор объекта");
  }
  if (head.expected_old &&
      !is_canonical_object_id(trim_right(*head.expected_old, k_blanks_and_line_ends))) {
    return text_reply(400, "недопустимое значение X-Orrery-Expected-Old");
  }
  return std::nullopt;
}

// The repository's root, recording the repository first when the call may
// create it.
std::string materialize(const HubContext& hub, const SyncCall& call) {
  int64_t id = call.repo ? call.repo->id : 0;
  if (!call.repo) id = find_or_add_repo(hub.db, *call.caller, call.target.repo, true).id;
  return open_hub_store(hub, id);
}

// The root to read from, or nothing for an absent repository (which reads
// as empty).
std::optional<std::string> readable_root(const HubContext& hub, const SyncCall& call) {
  if (!call.repo) return std::nullopt;
  return materialize(hub, call);
}

struct WantHave {
  std::set<ObjectId> want;
  std::set<ObjectId> have;
};

bool read_id_array(const nlohmann::json& document, const char* key, std::set<ObjectId>& out) {
  auto found = document.find(key);
  if (found == document.end() || !found->is_array()) return false;
  for (const nlohmann::json& element : *found) {
    if (!element.is_string() || !is_canonical_object_id(element.get_ref<const std::string&>()))
      return false;
    out.insert(element.get<std::string>());
  }
  return true;
}

std::optional<WantHave> parse_want_have(std::string_view body) {
  nlohmann::json document = nlohmann::json::parse(body, nullptr, false);
  WantHave parsed;
  if (!document.is_object() || document.value("proto", nlohmann::json()) != 1 ||
      !read_id_array(document, "want", parsed.want) ||
      !read_id_array(document, "have", parsed.have)) {
    return std::nullopt;
  }
  return parsed;
}

Reply bad_want_have() {
  return text_reply(400,
                    "ожидается JSON {\"have\":[...],\"proto\":1,\"want\":[...]} с id объектов");
}

Reply get_ref(const HubContext& hub, const SyncCall& call) {
  std::optional<ObjectId> id =
      call.repo ? read_hub_branch(hub, call.repo->id, call.target.argument) : std::nullopt;
  if (!id) return text_reply(404, "ветка не найдена");
  return text_reply(200, *id);
}

Reply put_ref(const HubContext& hub, const SyncCall& call, std::string_view body) {
  std::string_view id = trim_right(body, k_blanks_and_line_ends);
  if (!is_canonical_object_id(id)) return text_reply(400, "тело запроса — не id коммита");
  if (!call.repo) return text_reply(422, "на сервере нет этого коммита или его истории");
  materialize(hub, call);
  switch (move_hub_branch(hub, call.repo->id, call.target.argument, std::string(id),
                          call.expected_old)) {
    case BranchUpdate::updated:
      return text_reply(200, std::string(id));
    case BranchUpdate::incomplete_history:
      return text_reply(422, "на сервере нет этого коммита или его истории");
    case BranchUpdate::stale:
      return text_reply(412, "ветка на сервере не совпадает с X-Orrery-Expected-Old");
    case BranchUpdate::name_conflict:
      return text_reply(409, "имя ветки конфликтует с другой веткой");
  }
  return text_reply(500, "внутренняя ошибка");
}

Reply get_object(const HubContext& hub, const SyncCall& call) {
  std::optional<std::string> root = readable_root(hub, call);
  std::optional<std::string> stored =
      root ? read_stored_object(*root, call.target.argument) : std::nullopt;
  if (!stored) return text_reply(404, "объект не найден");
  return {200, std::move(*stored), k_octets};
}

Reply put_object(const HubContext& hub, const SyncCall& call, std::string_view body) {
  std::string problem;
  if (!ObjectChecker(hub.max_body).check(call.target.argument, body, problem)) {
    return text_reply(400, "объект отвергнут: " + problem);
  }
  store_object(materialize(hub, call), call.target.argument, body);
  return text_reply(200, "ok");
}

Reply post_pack(const HubContext& hub, const SyncCall& call, std::string_view body) {
  std::optional<std::vector<TransferRecord>> records = parse_transfer_stream(body);
  if (!records) return text_reply(400, "pack отвергнут: повреждена запись");
  const ObjectChecker checker(hub.max_body);
  std::set<ObjectId> in_pack, linked;
  for (const TransferRecord& record : *records) {
    std::string problem;
    std::optional<CheckedObject> checked = checker.check(record.id, record.stored, problem);
    if (!checked)
      return text_reply(400, "pack отвергнут: " + std::string(record.id) + ": " + problem);
    in_pack.emplace(record.id);
    for (const ObjectLink& link : checked->links) linked.insert(link.id);
  }
  std::set<ObjectId> outside;
  for (const ObjectId& id : linked) {
    if (in_pack.count(id) == 0) outside.insert(id);
  }
  std::optional<std::string> root = readable_root(hub, call);
  if (!outside.empty() && (!root || !missing_objects(*root, outside).empty())) {
    return text_reply(422, "pack ссылается на объекты, которых нет на сервере");
  }
  const std::string target = root ? *root : materialize(hub, call);
  for (const TransferRecord& record : *records) store_object(target, record.id, record.stored);
  return text_reply(200, "ok");
}

Reply post_negotiate(const HubContext& hub, const SyncCall& call, std::string_view body) {
  std::optional<WantHave> request = parse_want_have(body);
  if (!request) return bad_want_have();
  std::optional<std::string> root = readable_root(hub, call);
  std::set<ObjectId> missing = root ? missing_objects(*root, request->want) : request->want;
  nlohmann::json answer = {{"missing", missing}};
  return {200, answer.dump(), "application/json"};
}

Reply post_pack_query(const HubContext& hub, const SyncCall& call, std::string_view body) {
  std::optional<WantHave> request = parse_want_have(body);
  if (!request) return bad_want_have();
  std::optional<std::string> root = readable_root(hub, call);
  if (!root) return {200, "", k_octets};
  std::string pack = pack_of_closure(*root, request->want, request->have);
  // Nothing to send is a stream ended by its empty header line at once: an
  // empty body would send the client on to download the whole branch.
  if (pack.empty()) pack = "\n";
  return {200, std::move(pack), k_octets};
}

Reply get_branch_pack(const HubContext& hub, const SyncCall& call) {
  std::optional<ObjectId> tip =
      call.repo ? read_hub_branch(hub, call.repo->id, call.target.argument) : std::nullopt;
  if (!tip) return text_reply(404, "ветка не найдена");
  return {200, pack_of_closure(*readable_root(hub, call), {*tip}, {}), k_octets};
}

}  // namespace

std::variant<SyncCall, Reply> admit_sync_request(const HubContext& hub,
                                                 const SyncRequestHead& head) {
  if (head.target.find('?') != std::string::npos) {
    return text_reply(400, "адрес синхронизации не принимает параметров запроса");
  }
  if (head.protocol != "1") return text_reply(400, "нужен заголовок X-Orrery-Protocol: 1");
  std::optional<SyncTarget> target = parse_sync_target(head.target);
  if (!target) return text_reply(404, "не найдено");
  if (std::optional<Reply> refused = check_form(head, *target)) return *refused;

  SyncCall call;
  call.method = head.method;
  call.target = std::move(*target);
  if (head.expected_old)
    call.expected_old = std::string(trim_right(*head.expected_old, k_blanks_and_line_ends));
  if (!is_valid_user_name(call.target.owner) || !is_valid_repo_name(call.target.repo)) {
    return refusal(404);
  }
  call.caller = user_for_token(hub.db, bearer_token(head.authorization));
  call.repo = find_repo(hub.db, call.target.owner, call.target.repo);
  AccessDecision decision =
      decide_access({call.repo ? &*call.repo : nullptr, call.caller ? &*call.caller : nullptr,
                     call.target.owner, need_of(call.target, head.method), hub.push_create});
  if (decision.verdict == Verdict::refuse) return refusal(decision.status);
  call.verdict = decision.verdict;
  return call;
}

Reply serve_sync_call(const HubContext& hub, const SyncCall& call, std::string_view body) {
  const bool reading = call.method == "GET";
  switch (call.target.endpoint) {
    case SyncEndpoint::ref:
      return reading ? get_ref(hub, call) : put_ref(hub, call, body);
    case SyncEndpoint::object:
      return reading ? get_object(hub, call) : put_object(hub, call, body);
    case SyncEndpoint::branch_pack:
      return reading ? get_branch_pack(hub, call) : post_pack(hub, call, body);
    case SyncEndpoint::pack_query:
      return post_pack_query(hub, call, body);
    case SyncEndpoint::negotiate:
      return post_negotiate(hub, call, body);
  }
  return text_reply(500, "внутренняя ошибка");
}
