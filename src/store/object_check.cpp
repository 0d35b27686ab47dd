#include "store/object_check.h"

#include <array>
#include <charconv>
#include <functional>
#include <stdexcept>

#include "store/codec.h"

// Objects are inflated piece by piece: the header "<type> <size>\0" is taken
// off the first bytes, and the reader decides from it whether to go on.

namespace {

// "blob 12" and the like: the longest header worth reading.
constexpr size_t k_max_header = 32;

struct CanonicalHeader {
  std::string type;
  uint64_t size = 0;
};

// The text before the NUL: a type word, one space, a plain decimal size.
std::optional<CanonicalHeader> parse_canonical_header(std::string_view text) {
  size_t space = text.find(' ');
  if (space == 0 || space == std::string_view::npos) return std::nullopt;
  std::string_view digits = text.substr(space + 1);
  if (digits.empty() || (digits.size() > 1 && digits.front() == '0')) return std::nullopt;
  CanonicalHeader header{std::string(text.substr(0, space)), 0};
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), header.size);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return header;
}

using HeaderCheck = std::function<bool(const CanonicalHeader&)>;
using ContentSink = std::function<bool(std::string_view)>;

// Inflates an object, handing its parsed header to `accept` and then every
// piece of its content to `content`; either stops the inflation by returning
// false, as does a header that is malformed or longer than k_max_header.
InflateEnd inflate_object(std::string_view stored, const HeaderCheck& accept,
                          const ContentSink& content) {
  std::string head;
  bool header_done = false;
  return zlib_inflate_pieces(stored, [&](std::string_view piece) {
    if (header_done) return content(piece);
    size_t nul = piece.find('\0');
    head.append(piece.substr(0, nul));
    if (nul == std::string_view::npos) return head.size() <= k_max_header;
    header_done = true;
    std::optional<CanonicalHeader> header = parse_canonical_header(head);
    if (!header || !accept(*header)) return false;
    return nul + 1 == piece.size() || content(piece.substr(nul + 1));
  });
}

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
  uint64_t announced = 0;
  uint64_t seen = 0;
  problem.clear();
  auto accept = [&](const CanonicalHeader& header) {
    if (!is_known_type(header.type)) {
      problem = "object header is malformed";
      return false;
    }
    if (header.size > max_size) {
      problem = "object is larger than allowed here";
      return false;
    }
    object.type = header.type;
    announced = header.size;
    sha.update(header.type + " " + std::to_string(header.size) + std::string(1, '\0'));
    return true;
  };
  auto content = [&](std::string_view piece) {
    seen += piece.size();
    if (seen > announced) {
      problem = "object content is longer than its header says";
      return false;
    }
    sha.update(piece);
    if (object.type != "blob") object.data.append(piece);
    return true;
  };
  const InflateEnd end = inflate_object(stored, accept, content);
  if (end != InflateEnd::complete || object.type.empty()) {
    if (problem.empty()) {
      problem = end == InflateEnd::damaged ? "object is not exactly one complete zlib stream"
                                           : "object header is malformed";
    }
    return std::nullopt;
  }
  if (seen != announced) {
    problem = "object content is shorter than its header says";
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
  auto accept = [&](const CanonicalHeader& header) {
    object.type = header.type;
    return header.type == type;
  };
  auto content = [&](std::string_view piece) {
    object.data.append(piece);
    return true;
  };
  if (inflate_object(*stored, accept, content) != InflateEnd::complete || object.type != type) {
    return std::nullopt;
  }
  return object;
}

uint64_t canonical_size(std::string_view stored) {
  uint64_t size = 0;
  auto accept = [&](const CanonicalHeader& header) {
    size = header.type.size() + 1 + std::to_string(header.size).size() + 1 + header.size;
    return false;
  };
  auto content = [](std::string_view) { return false; };
  if (inflate_object(stored, accept, content) == InflateEnd::damaged || size == 0) {
    throw std::runtime_error("zlib inflate failed");
  }
  return size;
}
