#include "hubd/db.h"

// Built when libpq was not found: the hub then serves from SQLite only.
std::unique_ptr<Db> open_postgres_db(const std::string&) {
  throw std::runtime_error("This orrery-hub was built without PostgreSQL support");
}
