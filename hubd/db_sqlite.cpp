#include <sqlite3.h>

#include <mutex>
#include <unordered_map>

#include "hubd/db.h"

// One connection shared by every thread, behind a recursive mutex: the
// thread that runs a transaction keeps the connection for all of it, so no
// other thread's statement can land inside it. Prepared statements are kept
// per statement text; the texts are constants of the code, so the cache
// stays small.

namespace {

class SqliteDb final : public Db {
 public:
  explicit SqliteDb(const std::string& path);
  ~SqliteDb() override;

  DbBackend backend() const override { return DbBackend::sqlite; }
  int64_t exec(std::string_view sql, const DbParams& params) override;
  std::vector<DbRow> query(std::string_view sql, const DbParams& params) override;
  void transaction(const std::function<void()>& body) override;

 private:
  sqlite3_stmt* prepare(std::string_view sql);
  void bind(sqlite3_stmt* stmt, const DbParams& params);
  [[noreturn]] void fail(std::string_view what);
  void exec_plain(const char* sql);

  sqlite3* db_ = nullptr;
  std::recursive_mutex mutex_;
  std::unordered_map<std::string, sqlite3_stmt*> statements_;
};

SqliteDb::SqliteDb(const std::string& path) {
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    std::string reason = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    throw std::runtime_error("Cannot open database: " + path + " -> " + reason);
  }
  sqlite3_busy_timeout(db_, 5000);
  exec_plain("PRAGMA journal_mode=WAL");
  exec_plain("PRAGMA synchronous=NORMAL");
  exec_plain("PRAGMA foreign_keys=ON");
}

SqliteDb::~SqliteDb() {
  for (auto& [text, stmt] : statements_) sqlite3_finalize(stmt);
  sqlite3_close(db_);
}

void SqliteDb::fail(std::string_view what) {
  const int code = sqlite3_extended_errcode(db_);
  std::string message = std::string(what) + ": " + sqlite3_errmsg(db_);
  if ((code & 0xff) == SQLITE_CONSTRAINT) throw DbConstraintError(message);
  throw std::runtime_error(message);
}

void SqliteDb::exec_plain(const char* sql) {
  if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail(sql);
}

sqlite3_stmt* SqliteDb::prepare(std::string_view sql) {
  auto found = statements_.find(std::string(sql));
  if (found != statements_.end()) {
    sqlite3_reset(found->second);
    sqlite3_clear_bindings(found->second);
    return found->second;
  }
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr) !=
      SQLITE_OK) {
    fail("Cannot prepare statement");
  }
  statements_.emplace(std::string(sql), stmt);
  return stmt;
}

// SQLite reads "$1" as a named parameter; its index is looked up by name, so
// a statement may use a placeholder twice or in any order.
void SqliteDb::bind(sqlite3_stmt* stmt, const DbParams& params) {
  for (size_t i = 0; i < params.size(); ++i) {
    const std::string name = std::string("$").append(std::to_string(i + 1));
    const int index = sqlite3_bind_parameter_index(stmt, name.c_str());
    if (index == 0) throw std::runtime_error("Statement has no parameter " + name);
    int rc = SQLITE_OK;
    if (const int64_t* number = std::get_if<int64_t>(&params[i])) {
      rc = sqlite3_bind_int64(stmt, index, *number);
    } else if (const std::string* text = std::get_if<std::string>(&params[i])) {
      rc = sqlite3_bind_text(stmt, index, text->data(), static_cast<int>(text->size()),
                             SQLITE_TRANSIENT);
    } else {
      rc = sqlite3_bind_null(stmt, index);
    }
    if (rc != SQLITE_OK) fail("Cannot bind " + name);
  }
}

std::vector<DbRow> SqliteDb::query(std::string_view sql, const DbParams& params) {
  std::lock_guard lock(mutex_);
  sqlite3_stmt* stmt = prepare(sql);
  bind(stmt, params);
  std::vector<DbRow> rows;
  for (;;) {
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) {
      sqlite3_reset(stmt);
      fail("Statement failed");
    }
    DbRow& row = rows.emplace_back();
    const int columns = sqlite3_column_count(stmt);
    for (int c = 0; c < columns; ++c) {
      switch (sqlite3_column_type(stmt, c)) {
        case SQLITE_NULL:
          row.values.emplace_back(std::monostate{});
          break;
        case SQLITE_INTEGER:
          row.values.emplace_back(static_cast<int64_t>(sqlite3_column_int64(stmt, c)));
          break;
        default: {
          const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
          row.values.emplace_back(std::string(text, sqlite3_column_bytes(stmt, c)));
        }
      }
    }
  }
  sqlite3_reset(stmt);
  return rows;
}

int64_t SqliteDb::exec(std::string_view sql, const DbParams& params) {
  std::lock_guard lock(mutex_);
  query(sql, params);
  return sqlite3_changes(db_);
}

void SqliteDb::transaction(const std::function<void()>& body) {
  std::lock_guard lock(mutex_);
  exec_plain("BEGIN IMMEDIATE");
  try {
    body();
    exec_plain("COMMIT");
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

}  // namespace

std::unique_ptr<Db> open_sqlite_db(const std::string& path) {
  return std::make_unique<SqliteDb>(path);
}
