#include "store/object_check.h"

#include <array>
#include <functional>
#include <stdexcept>

#include "store/codec.h"

namespace {

bool is_known_type(std::string_view type) {
  return type == "blob" || type == "tree" || type == "commit";
}

}  // namespace

bool is_canonical_object_id(std::string_view text) {
  // A table: walks check every id they meet.
  static constexpr std::array<bool, 256> k_lower_hex = [] {
    std::array<bool, 256> table{};
    for (char c : std::string_view("0123456789abcdef")) table[static_cast<unsigned char>(c)] = true;
    return table;
  }();
  if (text.size() != 64) return false;
  bool all = true;
  for (char c : text) all &= k_lower_hex[static_cast<unsigned char>(c)];
  return all;
}

std::optional<Object> check_stored_object(std::string_view id, std::string_view stored,
                                          uint64_t max_size) {
  std::string problem;
  return check_stored_object(id, stored, max_size, problem);
}

std::optional<Object> check_stored_object(std::string_view id, std::string_view stored,
                                          uint64_t max_size, std::string& problem) {
  if (!is_canonical_object_id(id)) {
    problem = "object id is not 64 lower-case hexadecimal digits";
    return std::nullopt;
  }
  // One hashing context per thread: a fetch checks thousands of objects.
  thread_local Sha256Stream sha;
  sha.finish_hex();  // drops whatever an earlier, abandoned check fed it
  Object object;
  problem.clear();
  auto accept = [&](const ObjectHeader& header) {
    if (!is_known_type(header.type)) {
      problem = "object header is malformed";
      return false;
    }
    if (header.size > max_size) {
      problem = "object is larger than allowed here";
      return false;
    }
    object.type = header.type;
    sha.update(header.text);
    return true;
  };
  auto content = [&](std::string_view piece) {
    sha.update(piece);
    if (object.type != "blob") object.data.append(piece);
    return true;
  };
  std::string damage;
  if (inflate_object_pieces(stored, accept, content, damage) != InflateEnd::complete) {
    if (problem.empty()) problem = "object is damaged: " + damage;
    return std::nullopt;
  }
  if (sha.finish_hex() != id) {
    problem = "object does not hash to its id";
    return std::nullopt;
  }
  return object;
}

std::optional<Object> read_object_of_type(const ObjectStore& store, std::string_view id,
                                          std::string_view type) {
  std::optional<std::string> stored = read_raw_object(store, id);
  if (!stored) return std::nullopt;
  Object object;
  auto accept = [&](const ObjectHeader& header) {
    object.type = header.type;
    return header.type == type;
  };
  auto content = [&](std::string_view piece) {
    object.data.append(piece);
    return true;
  };
  std::string damage;
  if (inflate_object_pieces(*stored, accept, content, damage) != InflateEnd::complete ||
      object.type != type) {
    return std::nullopt;
  }
  return object;
}

uint64_t canonical_size(std::string_view stored) {
  uint64_t size = 0;
  auto accept = [&](const ObjectHeader& header) {
    size = header.text.size() + header.size;
    return false;
  };
  auto content = [](std::string_view) { return false; };
  std::string damage;
  if (inflate_object_pieces(stored, accept, content, damage) == InflateEnd::damaged || size == 0) {
    throw std::runtime_error("zlib inflate failed");
  }
  return size;
}
