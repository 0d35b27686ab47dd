#pragma once

class Db;

// The schema version this program writes.
int current_schema_version();

// Brings the database up to current_schema_version() inside one
// transaction: creates the version table on a new database and runs every
// migration above the recorded version. Throws std::runtime_error when the
// database was written by a newer program.
void migrate_schema(Db& db);
