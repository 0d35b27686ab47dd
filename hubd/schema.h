#pragma once

#include <memory>
#include <string>

#include "hubd/db.h"

// The schema version this program writes on a backend.
int current_schema_version(DbBackend backend);

// Brings the database up to current_schema_version of its backend inside one
// transaction: creates the version table on a new database and runs every
// migration above the recorded version. Throws std::runtime_error when the
// database was written by a newer program.
void migrate_schema(Db& db);

// The hub's database, migrated: PostgreSQL when `db_url` is given, else the
// SQLite file hub.db in data_dir. Creates data_dir and its repos folder as
// needed. Throws what opening and migrating throw.
std::unique_ptr<Db> open_hub_db(const std::string& data_dir, const std::string& db_url);
