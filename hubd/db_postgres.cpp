#include <libpq-fe.h>

#include <charconv>
#include <mutex>
#include <unordered_map>

#include "hubd/db.h"

// A pool of connections: a statement borrows one for its own span, a
// transaction pins one to its thread until it ends, so that every statement
// the thread runs inside the body lands in it. Statements with parameters
// are prepared once per connection and kept by their text (the texts are
// constants of the code, so the cache stays small). Parameters travel as
// text and PostgreSQL infers their types from the statement; integer
// columns come back as integers, everything else as text.

namespace {

// The integer type OIDs (pg_type.h is a server header).
constexpr Oid k_int2 = 21, k_int4 = 23, k_int8 = 20;
constexpr size_t k_max_idle = 64;

struct Connection {
  PGconn* conn = nullptr;
  std::unordered_map<std::string, std::string> prepared;  // statement text -> name

  ~Connection() { PQfinish(conn); }
};

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

void ignore_notice(void*, const char*) {}

class PostgresDb;

// The connection a transaction pinned to this thread, and whose it is.
thread_local const PostgresDb* t_owner = nullptr;
thread_local Connection* t_pinned = nullptr;

class PostgresDb final : public Db {
 public:
  explicit PostgresDb(std::string url) : url_(std::move(url)) { give_back(connect()); }

  DbBackend backend() const override { return DbBackend::postgres; }
  int64_t exec(std::string_view sql, const DbParams& params) override;
  std::vector<DbRow> query(std::string_view sql, const DbParams& params) override;
  void transaction(const std::function<void()>& body) override;

 private:
  // A borrowed connection, given back when it goes out of scope.
  class Lease {
   public:
    explicit Lease(PostgresDb& db) : db_(db), connection_(db.borrow()) {}
    ~Lease() { db_.give_back(std::move(connection_)); }
    Connection& operator*() { return *connection_; }

   private:
    PostgresDb& db_;
    std::unique_ptr<Connection> connection_;
  };

  std::unique_ptr<Connection> connect();
  std::unique_ptr<Connection> borrow();
  void give_back(std::unique_ptr<Connection> connection);
  Result run(std::string_view sql, const DbParams& params);
  Result run_on(Connection& connection, std::string_view sql, const DbParams& params);

  std::string url_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Connection>> idle_;
};

[[noreturn]] void fail(const PGresult* result, PGconn* conn) {
  const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  std::string message = result ? PQresultErrorMessage(result) : PQerrorMessage(conn);
  while (!message.empty() && message.back() == '\n') message.pop_back();
  // Class 23: integrity constraint violations (unique, foreign key, ...).
  if (state != nullptr && std::string_view(state).substr(0, 2) == "23") {
    throw DbConstraintError(message);
  }
  throw std::runtime_error("PostgreSQL: " + message);
}

Result check(PGresult* raw, PGconn* conn) {
  Result result(raw, &PQclear);
  const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) fail(result.get(), conn);
  return result;
}

std::unique_ptr<Connection> PostgresDb::connect() {
  auto connection = std::make_unique<Connection>();
  connection->conn = PQconnectdb(url_.c_str());
  if (PQstatus(connection->conn) != CONNECTION_OK) {
    std::string reason = PQerrorMessage(connection->conn);
    while (!reason.empty() && reason.back() == '\n') reason.pop_back();
    throw std::runtime_error("Cannot connect to PostgreSQL: " + reason);
  }
  PQsetNoticeProcessor(connection->conn, ignore_notice, nullptr);
  if (PQsetClientEncoding(connection->conn, "UTF8") != 0) fail(nullptr, connection->conn);
  return connection;
}

std::unique_ptr<Connection> PostgresDb::borrow() {
  {
    std::lock_guard lock(mutex_);
    if (!idle_.empty()) {
      std::unique_ptr<Connection> connection = std::move(idle_.back());
      idle_.pop_back();
      return connection;
    }
  }
  return connect();
}

// A connection that broke or was left inside a transaction is not reused.
void PostgresDb::give_back(std::unique_ptr<Connection> connection) {
  if (PQstatus(connection->conn) != CONNECTION_OK ||
      PQtransactionStatus(connection->conn) != PQTRANS_IDLE) {
    return;
  }
  std::lock_guard lock(mutex_);
  if (idle_.size() < k_max_idle) idle_.push_back(std::move(connection));
}

Result PostgresDb::run_on(Connection& connection, std::string_view sql, const DbParams& params) {
  std::vector<std::string> texts(params.size());
  std::vector<const char*> values(params.size(), nullptr);
  for (size_t i = 0; i < params.size(); ++i) {
    if (const int64_t* number = std::get_if<int64_t>(&params[i])) {
      texts[i] = std::to_string(*number);
    } else if (const std::string* text = std::get_if<std::string>(&params[i])) {
      if (text->find('\0') != std::string::npos) {
        throw std::runtime_error("Database text parameter holds a NUL byte");
      }
      texts[i] = *text;
    } else {
      continue;  // NULL
    }
    values[i] = texts[i].c_str();
  }
  const std::string statement(sql);
  if (params.empty()) {
    return check(
        PQexecParams(connection.conn, statement.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0),
        connection.conn);
  }
  auto found = connection.prepared.find(statement);
  if (found == connection.prepared.end()) {
    const std::string name = std::string("s").append(std::to_string(connection.prepared.size()));
    check(PQprepare(connection.conn, name.c_str(), statement.c_str(), 0, nullptr), connection.conn);
    found = connection.prepared.emplace(statement, name).first;
  }
  return check(PQexecPrepared(connection.conn, found->second.c_str(),
                              static_cast<int>(values.size()), values.data(), nullptr, nullptr, 0),
               connection.conn);
}

Result PostgresDb::run(std::string_view sql, const DbParams& params) {
  if (t_owner == this && t_pinned != nullptr) return run_on(*t_pinned, sql, params);
  Lease lease(*this);
  return run_on(*lease, sql, params);
}

int64_t PostgresDb::exec(std::string_view sql, const DbParams& params) {
  Result result = run(sql, params);
  const std::string_view count = PQcmdTuples(result.get());
  int64_t changed = 0;
  std::from_chars(count.data(), count.data() + count.size(), changed);
  return changed;
}

std::vector<DbRow> PostgresDb::query(std::string_view sql, const DbParams& params) {
  Result result = run(sql, params);
  const int rows = PQntuples(result.get());
  const int columns = PQnfields(result.get());
  std::vector<DbRow> out(rows);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      std::vector<DbValue>& values = out[r].values;
      if (PQgetisnull(result.get(), r, c)) {
        values.emplace_back(std::monostate{});
        continue;
      }
      const char* text = PQgetvalue(result.get(), r, c);
      const int size = PQgetlength(result.get(), r, c);
      const Oid type = PQftype(result.get(), c);
      if (type == k_int8 || type == k_int4 || type == k_int2) {
        int64_t number = 0;
        std::from_chars(text, text + size, number);
        values.emplace_back(number);
      } else {
        values.emplace_back(std::string(text, size));
      }
    }
  }
  return out;
}

void PostgresDb::transaction(const std::function<void()>& body) {
  if (t_owner == this && t_pinned != nullptr) {
    throw std::runtime_error("Database transactions do not nest");
  }
  Lease lease(*this);
  Connection& connection = *lease;
  check(PQexec(connection.conn, "BEGIN"), connection.conn);
  t_owner = this;
  t_pinned = &connection;
  try {
    body();
    t_pinned = nullptr;
    check(PQexec(connection.conn, "COMMIT"), connection.conn);
  } catch (...) {
    t_pinned = nullptr;
    PQclear(PQexec(connection.conn, "ROLLBACK"));
    throw;
  }
}

}  // namespace

std::unique_ptr<Db> open_postgres_db(const std::string& url) {
  return std::make_unique<PostgresDb>(url);
}
