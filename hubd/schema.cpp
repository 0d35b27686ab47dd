#include "hubd/schema.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "hubd/db.h"

// Migrations are append-only: migration N takes a database from version N-1
// to N and is never edited once released. Names are stored as typed and
// compared through name_key, their ASCII lower-case form, so "Alice" and
// "alice" cannot both exist. Repositories are files under the data
// directory keyed by repos.id.

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
