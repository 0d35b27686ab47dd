#include "hubd/accounts.h"

#include <ctime>

#include "hubd/crypto.h"
#include "hubd/db.h"

namespace {

bool is_name_char(char c, bool allow_dot) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || (allow_dot && c == '.');
}

bool is_name(std::string_view name, size_t max_size, bool allow_dot) {
  if (name.empty() || name.size() > max_size) return false;
  if (name.front() == '.' || name.front() == '-' || name.front() == '_') return false;
  for (char c : name) {
    if (!is_name_char(c, allow_dot)) return false;
  }
  return true;
}

int64_t now_seconds() { return static_cast<int64_t>(std::time(nullptr)); }

// Personal access tokens: a recognisable prefix and 256 random bits.
constexpr std::string_view k_token_prefix = "orrery_pat_";

constexpr const char* k_select_repo =
    "SELECT r.id, r.owner_id, u.name, r.name, r.is_private, r.description, r.default_branch"
    " FROM repos r JOIN users u ON u.id = r.owner_id";

RepoRecord repo_from_row(const DbRow& row) {
  return {row.integer(0),      row.integer(1), row.text(2), row.text(3),
          row.integer(4) != 0, row.text(5),    row.text(6)};
}

// Checked against when the name is unknown, so that a wrong name costs
// what a wrong password costs.
const std::string& decoy_password_hash() {
  static const std::string k_hash = hash_password("decoy");
  return k_hash;
}

}  // namespace

bool is_valid_user_name(std::string_view name) { return is_name(name, 39, false); }

bool is_valid_repo_name(std::string_view name) {
  constexpr std::string_view suffix = ".orrery";
  const bool ends_in_suffix =
      name.size() >= suffix.size() && name_key(name.substr(name.size() - suffix.size())) == suffix;
  return is_name(name, 100, true) && !ends_in_suffix;
}

std::string name_key(std::string_view name) {
  std::string key(name);
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

User add_user(Db& db, std::string_view name, std::string_view password) {
  std::vector<DbRow> rows = db.query(
      "INSERT INTO users (name, name_key, password_hash, created_at) VALUES ($1, $2, $3, $4)"
      " RETURNING id",
      {std::string(name), name_key(name), hash_password(password), now_seconds()});
  return {rows.at(0).integer(0), std::string(name)};
}

std::optional<User> find_user(Db& db, std::string_view name) {
  std::vector<DbRow> rows =
      db.query("SELECT id, name FROM users WHERE name_key = $1", {name_key(name)});
  if (rows.empty()) return std::nullopt;
  return User{rows[0].integer(0), rows[0].text(1)};
}

std::optional<User> check_password(Db& db, std::string_view name, std::string_view password) {
  std::vector<DbRow> rows =
      db.query("SELECT id, name, password_hash FROM users WHERE name_key = $1", {name_key(name)});
  if (rows.empty()) {
    verify_password(password, decoy_password_hash());
    return std::nullopt;
  }
  if (!verify_password(password, rows[0].text(2))) return std::nullopt;
  return User{rows[0].integer(0), rows[0].text(1)};
}

std::string create_token(Db& db, const User& user) {
  std::string token = std::string(k_token_prefix) + random_hex(32);
  db.exec("INSERT INTO tokens (user_id, token_hash, created_at) VALUES ($1, $2, $3)",
          {user.id, sha256_digest_hex(token), now_seconds()});
  return token;
}

std::optional<User> user_for_token(Db& db, std::string_view token) {
  if (token.empty()) return std::nullopt;
  std::vector<DbRow> rows = db.query(
      "SELECT u.id, u.name FROM tokens t JOIN users u ON u.id = t.user_id"
      " WHERE t.token_hash = $1 AND (t.expires_at IS NULL OR t.expires_at > $2)",
      {sha256_digest_hex(token), now_seconds()});
  if (rows.empty()) return std::nullopt;
  return User{rows[0].integer(0), rows[0].text(1)};
}

std::optional<RepoRecord> find_repo(Db& db, std::string_view owner, std::string_view name) {
  std::vector<DbRow> rows =
      db.query(std::string(k_select_repo) + " WHERE u.name_key = $1 AND r.name_key = $2",
               {name_key(owner), name_key(name)});
  if (rows.empty()) return std::nullopt;
  return repo_from_row(rows[0]);
}

std::optional<RepoRecord> find_repo_by_id(Db& db, int64_t id) {
  std::vector<DbRow> rows = db.query(std::string(k_select_repo) + " WHERE r.id = $1", {id});
  if (rows.empty()) return std::nullopt;
  return repo_from_row(rows[0]);
}

RepoRecord add_repo(Db& db, const User& owner, std::string_view name, bool is_private,
                    std::string_view description) {
  std::vector<DbRow> rows = db.query(
      "INSERT INTO repos (owner_id, name, name_key, is_private, created_at, description)"
      " VALUES ($1, $2, $3, $4, $5, $6) RETURNING id",
      {owner.id, std::string(name), name_key(name), int64_t{is_private}, now_seconds(),
       std::string(description)});
  return {rows.at(0).integer(0), owner.id,   owner.name,
          std::string(name),     is_private, std::string(description)};
}

RepoRecord find_or_add_repo(Db& db, const User& owner, std::string_view name, bool is_private) {
  db.exec(
      "INSERT INTO repos (owner_id, name, name_key, is_private, created_at)"
      " VALUES ($1, $2, $3, $4, $5) ON CONFLICT (owner_id, name_key) DO NOTHING",
      {owner.id, std::string(name), name_key(name), int64_t{is_private}, now_seconds()});
  std::optional<RepoRecord> record = find_repo(db, owner.name, name);
  if (!record) throw std::runtime_error("Repository vanished right after it was recorded");
  return *record;
}

std::vector<RepoRecord> list_repos(Db& db) {
  std::vector<RepoRecord> repos;
  for (const DbRow& row : db.query(std::string(k_select_repo) + " ORDER BY u.name_key, r.name_key"))
    repos.push_back(repo_from_row(row));
  return repos;
}

std::vector<RepoRecord> list_repos_of(Db& db, const User& owner) {
  std::vector<RepoRecord> repos;
  for (const DbRow& row : db.query(
           std::string(k_select_repo) + " WHERE r.owner_id = $1 ORDER BY r.name_key", {owner.id})) {
    repos.push_back(repo_from_row(row));
  }
  return repos;
}
