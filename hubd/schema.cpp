#include "hubd/schema.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "hubd/db.h"
#include "store/fs.h"

// Migrations are append-only: migration N takes a database from version N-1
// to N and is never edited once released. Names are stored as typed and
// compared through name_key, their ASCII lower-case form, so "Alice" and
// "alice" cannot both exist. Repositories are files under the data
// directory keyed by repos.id. Secrets (tokens, device codes, session ids)
// are stored only as their SHA-256; times are Unix seconds. Everything a
// request changes lives here, never in a process's memory, so several hub
// processes can serve one database.
//
// Each backend has its own list: PostgreSQL started later, so its first
// migration is the whole SQLite schema of that day in its own types (64-bit
// integers, identity ids), plus the branch heads and their log, which move
// into the database there so that several processes can guard them. Names
// are sorted by their bytes, as SQLite sorts them, whatever the locale of the
// PostgreSQL database.

namespace {

using Migrations = std::vector<std::vector<const char*>>;

const Migrations& sqlite_migrations() {
  static const Migrations k_migrations = {
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

const Migrations& postgres_migrations() {
  static const Migrations k_migrations = {
      {
          "CREATE TABLE users ("
          " id BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,"
          " name TEXT NOT NULL,"
          " name_key TEXT COLLATE \"C\" NOT NULL UNIQUE,"
          " password_hash TEXT NOT NULL,"
          " created_at BIGINT NOT NULL)",
          "CREATE TABLE repos ("
          " id BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,"
          " owner_id BIGINT NOT NULL REFERENCES users(id),"
          " name TEXT NOT NULL,"
          " name_key TEXT COLLATE \"C\" NOT NULL,"
          " is_private BIGINT NOT NULL,"
          " created_at BIGINT NOT NULL,"
          " description TEXT NOT NULL DEFAULT '',"
          " default_branch TEXT NOT NULL DEFAULT 'main',"
          " UNIQUE (owner_id, name_key))",
          "CREATE TABLE oauth_clients ("
          " client_id TEXT PRIMARY KEY,"
          " name TEXT NOT NULL)",
          "INSERT INTO oauth_clients (client_id, name) VALUES ('orrery-cli', 'orrery')",
          "CREATE TABLE oauth_grants ("
          " id BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,"
          " user_id BIGINT NOT NULL REFERENCES users(id) ON DELETE CASCADE,"
          " client_id TEXT NOT NULL REFERENCES oauth_clients(client_id),"
          " scope TEXT NOT NULL,"
          " created_at BIGINT NOT NULL,"
          " revoked_at BIGINT)",
          "CREATE TABLE tokens ("
          " id BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,"
          " user_id BIGINT NOT NULL REFERENCES users(id) ON DELETE CASCADE,"
          " token_hash TEXT NOT NULL UNIQUE,"
          " created_at BIGINT NOT NULL,"
          " grant_id BIGINT REFERENCES oauth_grants(id) ON DELETE CASCADE,"
          " expires_at BIGINT)",
          "CREATE TABLE refresh_tokens ("
          " id BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,"
          " grant_id BIGINT NOT NULL REFERENCES oauth_grants(id) ON DELETE CASCADE,"
          " token_hash TEXT NOT NULL UNIQUE,"
          " created_at BIGINT NOT NULL,"
          " used_at BIGINT)",
          "CREATE TABLE device_codes ("
          " id BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,"
          " device_hash TEXT NOT NULL UNIQUE,"
          " user_code TEXT NOT NULL UNIQUE,"
          " client_id TEXT NOT NULL REFERENCES oauth_clients(client_id),"
          " scope TEXT NOT NULL,"
          " status TEXT NOT NULL,"
          " user_id BIGINT REFERENCES users(id) ON DELETE CASCADE,"
          " poll_interval BIGINT NOT NULL,"
          " last_poll_ms BIGINT,"
          " created_at BIGINT NOT NULL,"
          " expires_at BIGINT NOT NULL)",
          "CREATE TABLE web_sessions ("
          " id BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,"
          " session_hash TEXT NOT NULL UNIQUE,"
          " user_id BIGINT REFERENCES users(id) ON DELETE CASCADE,"
          " csrf_token TEXT NOT NULL,"
          " created_at BIGINT NOT NULL,"
          " expires_at BIGINT NOT NULL)",
          "CREATE TABLE attempt_limits ("
          " bucket TEXT PRIMARY KEY,"
          " window_start BIGINT NOT NULL,"
          " failures BIGINT NOT NULL)",
          "CREATE TABLE pull_requests ("
          " id BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,"
          " repo_id BIGINT NOT NULL REFERENCES repos(id) ON DELETE CASCADE,"
          " author_id BIGINT NOT NULL REFERENCES users(id) ON DELETE CASCADE,"
          " title TEXT NOT NULL,"
          " head_branch TEXT NOT NULL,"
          " head_sha TEXT NOT NULL,"
          " base_branch TEXT NOT NULL,"
          " state TEXT NOT NULL,"
          " merge_sha TEXT,"
          " created_at BIGINT NOT NULL,"
          " closed_at BIGINT)",
          "CREATE TABLE ssh_keys ("
          " id BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,"
          " user_id BIGINT NOT NULL REFERENCES users(id) ON DELETE CASCADE,"
          " title TEXT NOT NULL,"
          " public_key TEXT NOT NULL,"
          " fingerprint TEXT NOT NULL UNIQUE,"
          " created_at BIGINT NOT NULL)",
          // Branch heads: name without "refs/heads/", target a commit id.
          "CREATE TABLE refs ("
          " repo_id BIGINT NOT NULL REFERENCES repos(id) ON DELETE CASCADE,"
          " name TEXT NOT NULL,"
          " target TEXT NOT NULL,"
          " PRIMARY KEY (repo_id, name))",
          // Every move of a branch head, in order; old_target is 64 zeros
          // for a new branch.
          "CREATE TABLE reflog ("
          " id BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,"
          " repo_id BIGINT NOT NULL REFERENCES repos(id) ON DELETE CASCADE,"
          " name TEXT NOT NULL,"
          " old_target TEXT NOT NULL,"
          " new_target TEXT NOT NULL,"
          " message TEXT NOT NULL,"
          " created_at BIGINT NOT NULL)",
          "CREATE INDEX reflog_by_repo ON reflog (repo_id, id)",
      },
  };
  return k_migrations;
}

const Migrations& migrations(DbBackend backend) {
  return backend == DbBackend::postgres ? postgres_migrations() : sqlite_migrations();
}

// Any fixed key: hub processes starting together on one database take
// turns to migrate it.
constexpr int64_t k_migration_lock = 0x6f72726572790001;

}  // namespace

int current_schema_version(DbBackend backend) {
  return static_cast<int>(migrations(backend).size());
}

void migrate_schema(Db& db) {
  const Migrations& steps = migrations(db.backend());
  const int64_t current = static_cast<int64_t>(steps.size());
  db.transaction([&] {
    if (db.backend() == DbBackend::postgres) {
      db.exec("SELECT pg_advisory_xact_lock($1)", {k_migration_lock});
    }
    db.exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
    std::vector<DbRow> rows = db.query("SELECT version FROM schema_version");
    if (rows.empty()) db.exec("INSERT INTO schema_version (version) VALUES (0)");
    const int64_t version = rows.empty() ? 0 : rows.front().integer(0);
    if (version > current) {
      throw std::runtime_error("Database schema version " + std::to_string(version) +
                               " is newer than this program's " + std::to_string(current));
    }
    for (int64_t next = version; next < current; ++next) {
      for (const char* statement : steps[next]) db.exec(statement);
    }
    if (version != current) db.exec("UPDATE schema_version SET version = $1", {current});
  });
}

std::unique_ptr<Db> open_hub_db(const std::string& data_dir, const std::string& db_url) {
  ensure_directory(data_dir + "/repos");
  std::unique_ptr<Db> db =
      db_url.empty() ? open_sqlite_db(data_dir + "/hub.db") : open_postgres_db(db_url);
  migrate_schema(*db);
  return db;
}
