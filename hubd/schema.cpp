#include "hubd/schema.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "hubd/db.h"

// Migrations are append-only: migration N takes a database from version N-1
// to N and is never edited once released. Names are stored as typed and
// compared through name_key, their ASCII lower-case form, so "Alice" and
// "alice" cannot both exist. Repositories are files under the data
// directory keyed by repos.id. Secrets (tokens, device codes, session ids)
// are stored only as their SHA-256; times are Unix seconds. Everything a
// request changes lives here, never in a process's memory, so several hub
// processes can serve one database.

namespace {

const std::vector<std::vector<const char*>>& migrations() {
  static const std::vector<std::vector<const char*>> k_migrations = {
      {
          "CREATE TABLE users ("
          " id INTEGER PRIMARY KEY,"
          " name TEXT NOT NULL,"
          " name_key TEXT NOT NULL UNIQUE,"
          " password_hash TEXT NOT NULL,"
          " created_at INTEGER NOT NULL)",
          "CREATE TABLE tokens ("
          " id INTEGER PRIMARY KEY,"
          " user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,"
          " token_hash TEXT NOT NULL UNIQUE,"
          " created_at INTEGER NOT NULL)",
          "CREATE TABLE repos ("
          " id INTEGER PRIMARY KEY,"
          " owner_id INTEGER NOT NULL REFERENCES users(id),"
          " name TEXT NOT NULL,"
          " name_key TEXT NOT NULL,"
          " is_private INTEGER NOT NULL,"
          " created_at INTEGER NOT NULL,"
          " UNIQUE (owner_id, name_key))",
      },
      {
          "ALTER TABLE repos ADD COLUMN description TEXT NOT NULL DEFAULT ''",
          "ALTER TABLE repos ADD COLUMN default_branch TEXT NOT NULL DEFAULT 'main'",
          "CREATE TABLE oauth_clients ("
          " client_id TEXT PRIMARY KEY,"
          " name TEXT NOT NULL)",
          "INSERT INTO oauth_clients (client_id, name) VALUES ('orrery-cli', 'orrery')",
          // One row per approved device login; its access and refresh
          // tokens all descend from it and are revoked with it.
          "CREATE TABLE oauth_grants ("
          " id INTEGER PRIMARY KEY,"
          " user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,"
          " client_id TEXT NOT NULL REFERENCES oauth_clients(client_id),"
          " scope TEXT NOT NULL,"
          " created_at INTEGER NOT NULL,"
          " revoked_at INTEGER)",
          "ALTER TABLE tokens ADD COLUMN grant_id INTEGER"
          " REFERENCES oauth_grants(id) ON DELETE CASCADE",
          "ALTER TABLE tokens ADD COLUMN expires_at INTEGER",
          "CREATE TABLE refresh_tokens ("
          " id INTEGER PRIMARY KEY,"
          " grant_id INTEGER NOT NULL REFERENCES oauth_grants(id) ON DELETE CASCADE,"
          " token_hash TEXT NOT NULL UNIQUE,"
          " created_at INTEGER NOT NULL,"
          " used_at INTEGER)",
          // status: pending, approved, denied or consumed.
          "CREATE TABLE device_codes ("
          " id INTEGER PRIMARY KEY,"
          " device_hash TEXT NOT NULL UNIQUE,"
          " user_code TEXT NOT NULL UNIQUE,"
          " client_id TEXT NOT NULL REFERENCES oauth_clients(client_id),"
          " scope TEXT NOT NULL,"
          " status TEXT NOT NULL,"
          " user_id INTEGER REFERENCES users(id) ON DELETE CASCADE,"
          " poll_interval INTEGER NOT NULL,"
          " last_poll_ms INTEGER,"
          " created_at INTEGER NOT NULL,"
          " expires_at INTEGER NOT NULL)",
          "CREATE TABLE web_sessions ("
          " id INTEGER PRIMARY KEY,"
          " session_hash TEXT NOT NULL UNIQUE,"
          " user_id INTEGER REFERENCES users(id) ON DELETE CASCADE,"
          " csrf_token TEXT NOT NULL,"
          " created_at INTEGER NOT NULL,"
          " expires_at INTEGER NOT NULL)",
          // Failed attempts per bucket ("peer:<address>", "session:<id>", ...)
          // in a fixed window that opens with the first failure.
          "CREATE TABLE attempt_limits ("
          " bucket TEXT PRIMARY KEY,"
          " window_start INTEGER NOT NULL,"
          " failures INTEGER NOT NULL)",
          // state: open, merged or closed.
          "CREATE TABLE pull_requests ("
          " id INTEGER PRIMARY KEY,"
          " repo_id INTEGER NOT NULL REFERENCES repos(id) ON DELETE CASCADE,"
          " author_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,"
          " title TEXT NOT NULL,"
          " head_branch TEXT NOT NULL,"
          " head_sha TEXT NOT NULL,"
          " base_branch TEXT NOT NULL,"
          " state TEXT NOT NULL,"
          " merge_sha TEXT,"
          " created_at INTEGER NOT NULL,"
          " closed_at INTEGER)",
          "CREATE TABLE ssh_keys ("
          " id INTEGER PRIMARY KEY,"
          " user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,"
          " title TEXT NOT NULL,"
          " public_key TEXT NOT NULL,"
          " fingerprint TEXT NOT NULL UNIQUE,"
          " created_at INTEGER NOT NULL)",
      },
  };
  return k_migrations;
}

}  // namespace

int current_schema_version() { return static_cast<int>(migrations().size()); }

void migrate_schema(Db& db) {
  db.transaction([&] {
    db.exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
    std::vector<DbRow> rows = db.query("SELECT version FROM schema_version");
    if (rows.empty()) db.exec("INSERT INTO schema_version (version) VALUES (0)");
    const int64_t version = rows.empty() ? 0 : rows.front().integer(0);
    if (version > current_schema_version()) {
      throw std::runtime_error("Database schema version " + std::to_string(version) +
                               " is newer than this program's " +
                               std::to_string(current_schema_version()));
    }
    for (int64_t next = version; next < current_schema_version(); ++next) {
      for (const char* statement : migrations()[next]) db.exec(statement);
    }
    db.exec("UPDATE schema_version SET version = $1", {int64_t{current_schema_version()}});
  });
}
