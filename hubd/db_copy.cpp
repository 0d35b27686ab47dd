#include "hubd/db_copy.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>

#include "hubd/db.h"
#include "hubd/schema.h"
#include "hubd/store_gate.h"
#include "hubd/sync_path.h"
#include "store/fs.h"
#include "store/repo.h"

// The columns are named, not "*", so that a column order that differs
// between the backends cannot shift values. Parents come before children,
// so every foreign key finds its row. Ids are kept (pull request numbers and
// repository folders depend on them), so each identity sequence is moved
// past the largest id afterwards.

namespace {

struct TableColumns {
  const char* table;
  const char* columns;
  bool has_id;
};

constexpr TableColumns k_tables[] = {
    {"users", "id, name, name_key, password_hash, created_at", true},
    {"repos", "id, owner_id, name, name_key, is_private, created_at, description, default_branch",
     true},
    {"oauth_clients", "client_id, name", false},
    {"oauth_grants", "id, user_id, client_id, scope, created_at, revoked_at", true},
    {"tokens", "id, user_id, token_hash, created_at, grant_id, expires_at", true},
    {"refresh_tokens", "id, grant_id, token_hash, created_at, used_at", true},
    {"device_codes",
     "id, device_hash, user_code, client_id, scope, status, user_id, poll_interval, last_poll_ms,"
     " created_at, expires_at",
     true},
    {"web_sessions", "id, session_hash, user_id, csrf_token, created_at, expires_at", true},
    {"attempt_limits", "bucket, window_start, failures", false},
    {"pull_requests",
     "id, repo_id, author_id, title, head_branch, head_sha, base_branch, state, merge_sha,"
     " created_at, closed_at",
     true},
    {"ssh_keys", "id, user_id, title, public_key, fingerprint, created_at", true},
};

int64_t copy_table(Db& from, Db& to, const TableColumns& table) {
  const std::string columns = table.columns;
  std::string placeholders;
  for (size_t i = 1, count = std::count(columns.begin(), columns.end(), ',') + 1; i <= count; ++i) {
    placeholders += (i > 1 ? ", $" : "$") + std::to_string(i);
  }
  const std::string insert = "INSERT INTO " + std::string(table.table) + " (" + columns +
                             ") VALUES (" + placeholders + ") ON CONFLICT DO NOTHING";
  int64_t copied = 0;
  for (const DbRow& row : from.query("SELECT " + columns + " FROM " + table.table)) {
    copied += to.exec(insert, row.values);
  }
  if (table.has_id) {
    to.exec(std::string("SELECT setval(pg_get_serial_sequence('") + table.table +
            "', 'id'), (SELECT COALESCE(MAX(id), 0) + 1 FROM " + table.table + "), false)");
  }
  return copied;
}

// The branch a hub repository's log line is about, from its message.
std::optional<std::string> branch_of_message(std::string_view message) {
  constexpr std::string_view prefix = "обновление: ";
  constexpr std::string_view heads = "refs/heads/";
  if (message.substr(0, prefix.size()) != prefix) return std::nullopt;
  message.remove_prefix(prefix.size());
  if (message.substr(0, heads.size()) == heads) message.remove_prefix(heads.size());
  if (!is_valid_branch_name(message)) return std::nullopt;
  return std::string(message);
}

void copy_reflog(Db& to, int64_t repo_id, const std::string& root) {
  std::string text;
  if (!read_file_into(orrery_path(root, "logs/HEAD"), text)) return;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string_view line = std::string_view(text).substr(start, end - start);
    const size_t tab = line.find('\t');
    if (tab != 129 || line[64] != ' ') continue;
    std::optional<std::string> branch = branch_of_message(line.substr(tab + 1));
    if (!branch) continue;
    to.exec(
        "INSERT INTO reflog (repo_id, name, old_target, new_target, message, created_at)"
        " VALUES ($1, $2, $3, $4, $5, 0)",
        {repo_id, *branch, std::string(line.substr(0, 64)), std::string(line.substr(65, 64)),
         std::string(line.substr(tab + 1))});
  }
}

int64_t copy_branches(Db& to, int64_t repo_id, const std::string& root) {
  const std::filesystem::path heads = orrery_path(root, "refs/heads");
  std::error_code ec;
  int64_t copied = 0;
  for (std::filesystem::recursive_directory_iterator it(heads, ec), end; !ec && it != end;
       it.increment(ec)) {
    if (!it->is_regular_file() || it->is_symlink()) continue;
    const std::string name = it->path().lexically_relative(heads).generic_string();
    if (name.find(".tmp.") != std::string::npos) continue;  // an interrupted write
    std::string target = read_file(it->path().string());
    while (!target.empty() && (target.back() == '\n' || target.back() == '\r')) target.pop_back();
    if (!is_valid_branch_name(name) || !is_canonical_object_id(target)) {
      throw std::runtime_error("Malformed branch head in repository " + std::to_string(repo_id) +
                               ": " + it->path().string());
    }
    copied += to.exec("INSERT INTO refs (repo_id, name, target) VALUES ($1, $2, $3)",
                      {repo_id, name, target});
  }
  copy_reflog(to, repo_id, root);
  return copied;
}

bool holds_accounts(Db& db) {
  return !db.query("SELECT 1 FROM users UNION ALL SELECT 1 FROM repos LIMIT 1").empty();
}

std::optional<std::string> parse_migrate_args(const HubArgs& args, std::string& data_dir) {
  std::optional<HubOptions> parsed = parse_hub_options(args, {"--to", "--data"}, {});
  if (!parsed) return std::nullopt;
  if (!parsed->positionals.empty() || parsed->values.count("--to") == 0) {
    print_hub_error("использование: orrery-hub migrate --to postgres://… --data КАТАЛОГ",
                    "см. orrery-hub --help");
    return std::nullopt;
  }
  data_dir = parsed->values["--data"];
  if (data_dir.empty()) {
    print_hub_error("не задан каталог данных", "укажи --data КАТАЛОГ");
    return std::nullopt;
  }
  if (!check_db_url(parsed->values["--to"])) return std::nullopt;
  if (!path_exists(data_dir + "/hub.db")) {
    print_hub_error("в каталоге данных нет базы SQLite: " + data_dir + "/hub.db");
    return std::nullopt;
  }
  return parsed->values["--to"];
}

}  // namespace

CopiedCounts copy_hub_metadata(Db& from, Db& to, const std::string& data_dir) {
  CopiedCounts counts;
  to.transaction([&] {
    if (holds_accounts(to)) {
      throw std::runtime_error("The target database already holds users or repositories");
    }
    for (const TableColumns& table : k_tables) {
      const int64_t copied = copy_table(from, to, table);
      if (table.table == std::string_view("users")) counts.users = copied;
      if (table.table == std::string_view("repos")) counts.repos = copied;
    }
    for (const DbRow& repo : from.query("SELECT id FROM repos ORDER BY id")) {
      const int64_t id = repo.integer(0);
      counts.branches += copy_branches(to, id, repo_root(data_dir, id));
    }
  });
  return counts;
}

int cmd_hub_migrate(const HubArgs& args) {
  std::string data_dir;
  std::optional<std::string> url = parse_migrate_args(args, data_dir);
  if (!url) return 1;
  std::unique_ptr<Db> from = open_hub_db(data_dir, "");
  std::unique_ptr<Db> to = open_hub_db(data_dir, *url);
  if (holds_accounts(*to)) {
    print_hub_error("в базе PostgreSQL уже есть пользователи или репозитории",
                    "перенос идёт только в пустую базу");
    return 1;
  }
  CopiedCounts counts;
  try {
    counts = copy_hub_metadata(*from, *to, data_dir);
  } catch (const DbConstraintError& e) {
    print_hub_error(std::string("данные SQLite нарушают ограничения PostgreSQL: ") + e.what());
    return 1;
  }
  std::cout << "Перенесено в PostgreSQL: пользователей " << counts.users << ", репозиториев "
            << counts.repos << ", веток " << counts.branches << "\n"
            << "Запускай orrery-hub serve --data " << data_dir << " --db <тот же адрес>\n";
  return 0;
}
