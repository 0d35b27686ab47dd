#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// The hub's metadata database behind one narrow seam, so that another
// backend can stand in for SQLite without touching a handler. Statements are
// fixed texts with the placeholders $1, $2, ... bound from DbParams; request
// text only ever travels as a parameter, never inside a statement.

// NULL, an integer or a text: the three column types the schema uses.
using DbValue = std::variant<std::monostate, int64_t, std::string>;
using DbParams = std::vector<DbValue>;

struct DbRow {
  std::vector<DbValue> values;

  bool is_null(size_t column) const;
  // The column as an integer or a text; throws std::runtime_error when the
  // column is missing or holds the other type (or NULL).
  int64_t integer(size_t column) const;
  const std::string& text(size_t column) const;
};

class Db {
 public:
  virtual ~Db() = default;

  // Runs one statement; returns the number of rows it changed. Throws
  // DbConstraintError when it breaks a uniqueness or foreign-key rule and
  // std::runtime_error on any other failure.
  virtual int64_t exec(std::string_view sql, const DbParams& params = {}) = 0;

  // Runs one statement and returns every row it yields.
  virtual std::vector<DbRow> query(std::string_view sql, const DbParams& params = {}) = 0;

  // Runs `body` inside one write transaction: committed when it returns,
  // rolled back when it throws (the exception goes on). Not nestable.
  virtual void transaction(const std::function<void()>& body) = 0;
};

// A statement broke a uniqueness or foreign-key rule of the schema.
struct DbConstraintError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Opens (creating if needed) the SQLite database at `path` in WAL mode with a
// busy timeout and foreign keys on. Safe to share between threads. Throws
// std::runtime_error naming the path when it cannot be opened.
std::unique_ptr<Db> open_sqlite_db(const std::string& path);
