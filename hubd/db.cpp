#include "hubd/db.h"

#include <stdexcept>

namespace {

const DbValue& column_at(const DbRow& row, size_t column) {
  if (column >= row.values.size()) {
    throw std::runtime_error("Database row has no column " + std::to_string(column));
  }
  return row.values[column];
}

}  // namespace

bool DbRow::is_null(size_t column) const {
  return std::holds_alternative<std::monostate>(column_at(*this, column));
}

int64_t DbRow::integer(size_t column) const {
  const int64_t* value = std::get_if<int64_t>(&column_at(*this, column));
  if (value == nullptr) {
    throw std::runtime_error("Database column " + std::to_string(column) + " is not an integer");
  }
  return *value;
}

const std::string& DbRow::text(size_t column) const {
  const std::string* value = std::get_if<std::string>(&column_at(*this, column));
  if (value == nullptr) {
    throw std::runtime_error("Database column " + std::to_string(column) + " is not a text");
  }
  return *value;
}
