#include "hubd/pull_requests.h"

#include <nlohmann/json.hpp>

#include "hubd/db.h"
#include "hubd/pr_merge.h"
#include "hubd/store_gate.h"
#include "hubd/sync_path.h"

namespace {

using nlohmann::json;

constexpr size_t k_max_title = 256;

struct PullRequest {
  int64_t id = 0;
  RepoRecord repo;
  int64_t author_id = 0;
  std::string author;
  std::string title;
  std::string head_branch;
  std::string head_sha;
  std::string base_branch;
  std::string state;
  std::optional<std::string> merge_sha;
  int64_t created_at = 0;
};

constexpr const char* k_select_pull =
    "SELECT p.id, p.repo_id, p.author_id, a.name, p.title, p.head_branch, p.head_sha,"
    " p.base_branch, p.state, p.merge_sha, p.created_at FROM pull_requests p"
    " JOIN users a ON a.id = p.author_id JOIN repos r ON r.id = p.repo_id";

PullRequest pull_from_row(Db& db, const DbRow& row) {
  PullRequest pull{row.integer(0), *find_repo_by_id(db, row.integer(1)),
                   row.integer(2), row.text(3),
                   row.text(4),    row.text(5),
                   row.text(6),    row.text(7),
                   row.text(8),    std::nullopt,
                   row.integer(10)};
  if (!row.is_null(9)) pull.merge_sha = row.text(9);
  return pull;
}

json pull_json(const PullRequest& pull) {
  json body = {{"id", pull.id},
               {"repository_id", pull.repo.id},
               {"repository", pull.repo.owner + "/" + pull.repo.name},
               {"title", pull.title},
               {"state", pull.state},
               {"author_username", pull.author},
               {"head_branch", pull.head_branch},
               {"head_sha", pull.head_sha},
               {"base_branch", pull.base_branch},
               {"created_at", pull.created_at}};
  if (pull.merge_sha) body["merge_sha"] = *pull.merge_sha;
  return body;
}

Reply pull_reply(int status, const PullRequest& pull) {
  return api_json(status, pull_json(pull).dump());
}

Reply not_found() { return api_error(404, "pull request не найден"); }

// The pull request when the user may see it: its repository is readable.
std::optional<PullRequest> visible_pull(const ApiCall& call, std::string_view id_text) {
  std::optional<int64_t> id = parse_id(id_text);
  if (!id) return std::nullopt;
  std::vector<DbRow> rows =
      call.hub.db.query(std::string(k_select_pull) + " WHERE p.id = $1", {*id});
  if (rows.empty()) return std::nullopt;
  PullRequest pull = pull_from_row(call.hub.db, rows[0]);
  if (!can_read(call.user, pull.repo)) return std::nullopt;
  return pull;
}

// Pull requests of the user's repositories and those the user opened,
// newest first; `state` and `repository_id` in the query narrow the list.
Reply list_pulls(const ApiCall& call) {
  const auto& query = call.request.query;
  std::string sql = std::string(k_select_pull) +
                    " WHERE (r.owner_id = $1 OR (p.author_id = $1 AND r.is_private = 0))";
  DbParams params{call.user.id};
  if (auto state = query.find("state"); state != query.end()) {
    sql += " AND p.state = $2";
    params.emplace_back(state->second);
  }
  if (auto repo = query.find("repository_id"); repo != query.end()) {
    std::optional<int64_t> id = parse_id(repo->second);
    if (!id) return api_error(400, "repository_id — положительное целое");
    sql += " AND p.repo_id = $" + std::to_string(params.size() + 1);
    params.emplace_back(*id);
  }
  json list = json::array();
  for (const DbRow& row : call.hub.db.query(sql + " ORDER BY p.id DESC", params)) {
    list.push_back(pull_json(pull_from_row(call.hub.db, row)));
  }
  return api_json(200, list.dump());
}

struct NewPull {
  int64_t repo_id = 0;
  std::string title, head_sha, head_branch;
};

std::optional<NewPull> parse_new_pull(std::string_view text) {
  json body = json::parse(text, nullptr, false);
  if (!body.is_object()) return std::nullopt;
  for (const char* key : {"title", "head_sha", "head_branch"}) {
    if (!body.contains(key) || !body[key].is_string()) return std::nullopt;
  }
  if (!body.contains("repository_id") || !body["repository_id"].is_number_integer()) {
    return std::nullopt;
  }
  return NewPull{body["repository_id"].get<int64_t>(), body["title"].get<std::string>(),
                 body["head_sha"].get<std::string>(), body["head_branch"].get<std::string>()};
}

// Why a new pull request cannot be opened, or nothing.
std::optional<Reply> check_new_pull(const ApiCall& call, const NewPull& pull,
                                    const RepoRecord& repo) {
  if (pull.title.empty() || pull.title.size() > k_max_title || !is_printable_text(pull.title)) {
    return api_error(422, "заголовок: от 1 до 256 байт текста без управляющих символов");
  }
  if (!is_valid_branch_name(pull.head_branch)) return api_error(422, "недопустимое имя ветки");
  const std::string root = repo_root(call.hub.data_dir, repo.id);
  if (!is_canonical_object_id(pull.head_sha) || !holds_history(root, pull.head_sha)) {
    return api_error(422, "коммита head_sha нет на Hub: сначала отправьте ветку (orrery push)");
  }
  std::optional<ObjectId> base = read_branch(root, repo.default_branch);
  if (base && reaches(root, *base, pull.head_sha)) {
    return api_error(422, "нечего сливать: коммит уже в ветке " + repo.default_branch);
  }
  return std::nullopt;
}

Reply create_pull(const ApiCall& call) {
  std::optional<NewPull> pull = parse_new_pull(call.request.body);
  if (!pull) {
    return api_error(400,
                     "ожидается JSON {\"head_branch\": …, \"head_sha\": …, "
                     "\"repository_id\": …, \"title\": …}");
  }
  std::optional<RepoRecord> repo = find_repo_by_id(call.hub.db, pull->repo_id);
  if (!repo || !can_read(call.user, *repo)) return api_error(404, "репозиторий не найден");
  if (std::optional<Reply> refused = check_new_pull(call, *pull, *repo)) return *refused;
  std::vector<DbRow> rows = call.hub.db.query(
      "INSERT INTO pull_requests (repo_id, author_id, title, head_branch, head_sha, base_branch,"
      " state, created_at) VALUES ($1, $2, $3, $4, $5, $6, 'open', $7) RETURNING id",
      {repo->id, call.user.id, pull->title, pull->head_branch, pull->head_sha, repo->default_branch,
       unix_now()});
  return pull_reply(201, *visible_pull(call, std::to_string(rows.at(0).integer(0))));
}

Reply refusal_reply(const PullRequestMerge& merged) {
  if (merged.outcome == MergeOutcome::unrelated) {
    return api_error(409, "у ветки pull request и базовой ветки нет общего коммита");
  }
  if (merged.outcome == MergeOutcome::not_linear) {
    return api_error(409,
                     "rebase невозможен: база слияния не на цепочке первых родителей ветки; "
                     "используйте merge или squash");
  }
  std::string paths;
  for (size_t i = 0; i < merged.conflicts.size() && i < 20; ++i) {
    paths += (i ? ", " : "") + merged.conflicts[i];
  }
  return api_error(409, "конфликт слияния, ничего не изменено: " + paths);
}

Reply record_merged(const ApiCall& call, int64_t id, const ObjectId& tip) {
  call.hub.db.exec(
      "UPDATE pull_requests SET state = 'merged', merge_sha = $2, closed_at = $3"
      " WHERE id = $1 AND state = 'open'",
      {id, tip, unix_now()});
  return pull_reply(200, *visible_pull(call, std::to_string(id)));
}

Reply merge_pull(const ApiCall& call, const PullRequest& pull) {
  if (call.user.id != pull.repo.owner_id) {
    return api_error(403, "сливать pull request может только владелец репозитория");
  }
  auto method_name = call.request.query.find("merge_method");
  std::optional<MergeMethod> method =
      parse_merge_method(method_name == call.request.query.end() ? "merge" : method_name->second);
  if (!method) return api_error(400, "merge_method: merge, squash или rebase");
  if (pull.state != "open") return api_error(409, "pull request не открыт: " + pull.state);

  const std::string root = repo_root(call.hub.data_dir, pull.repo.id);
  std::optional<ObjectId> base = read_branch(root, pull.base_branch);
  if (!base) return api_error(409, "базовой ветки " + pull.base_branch + " нет на Hub");
  if (reaches(root, *base, pull.head_sha)) {  // pushed to the base meanwhile
    return record_merged(call, pull.id, *base);
  }
  const std::string message =
      *method == MergeMethod::squash
          ? pull.title + " (#" + std::to_string(pull.id) + ")"
          : "Merge pull request #" + std::to_string(pull.id) + ": " + pull.title;
  PullRequestMerge merged =
      merge_pull_request(root, *base, pull.head_sha, *method,
                         {call.user.name, message, static_cast<uint64_t>(unix_now())});
  if (merged.outcome != MergeOutcome::merged) return refusal_reply(merged);
  if (update_branch(root, pull.base_branch, *merged.tip, base) != BranchUpdate::updated) {
    return api_error(409, "ветка " + pull.base_branch + " изменилась во время слияния; повторите");
  }
  return record_merged(call, pull.id, *merged.tip);
}

Reply close_pull(const ApiCall& call, const PullRequest& pull) {
  if (call.user.id != pull.repo.owner_id && call.user.id != pull.author_id) {
    return api_error(403, "закрыть pull request может его автор или владелец репозитория");
  }
  if (call.hub.db.exec("UPDATE pull_requests SET state = 'closed', closed_at = $2"
                       " WHERE id = $1 AND state = 'open'",
                       {pull.id, unix_now()}) != 1) {
    return api_error(409, "pull request не открыт: " + pull.state);
  }
  return pull_reply(200, *visible_pull(call, std::to_string(pull.id)));
}

}  // namespace

Reply serve_pull_requests(const ApiCall& call) {
  const auto& s = call.segments;
  const std::string& method = call.request.method;
  if (s.size() == 1) {
    if (method == "GET") return list_pulls(call);
    if (method == "POST") return create_pull(call);
    return method_not_allowed();
  }
  if (s.size() > 3) return api_error(404, "не найдено");
  std::optional<PullRequest> pull = visible_pull(call, s[1]);
  if (!pull) return not_found();
  if (s.size() == 2) return method == "GET" ? pull_reply(200, *pull) : method_not_allowed();
  if (method != "POST") return method_not_allowed();
  if (s[2] == "merge") return merge_pull(call, *pull);
  if (s[2] == "close") return close_pull(call, *pull);
  return api_error(404, "не найдено");
}
