#include "hubd/object_check.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <charconv>
#include <stdexcept>

#include "hubd/sync_path.h"

// An object is inflated in chunks into one reused buffer and hashed as it
// goes; only tree and commit contents are kept, to be parsed. The size the
// header declares is checked against the cap before anything beyond the
// header is inflated, and inflating stops the moment the content outgrows
// it, so a small upload cannot make the hub inflate a huge one.

namespace {

constexpr size_t k_chunk = 64 * 1024;
constexpr size_t k_max_header = 32;  // "commit " and 20 digits fit easily

bool parse_size(std::string_view text, size_t& value) {
  if (text.empty() || (text.size() > 1 && text[0] == '0')) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

bool is_known_type(std::string_view type) {
  return type == "blob" || type == "tree" || type == "commit";
}

bool is_entry_name(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

std::optional<std::vector<ObjectLink>> tree_links(std::string_view content) {
  std::vector<ObjectLink> links;
  for (const TreeEntry& entry : parse_tree(content)) {
    if ((entry.type != "blob" && entry.type != "tree") || !is_canonical_object_id(entry.hash) ||
        !is_entry_name(entry.path)) {
      return std::nullopt;
    }
    links.push_back({entry.hash, entry.type == "tree" ? "tree" : "blob"});
  }
  return links;
}

std::optional<std::vector<ObjectLink>> commit_links(std::string_view content) {
  Commit commit = parse_commit(content);
  if (!is_canonical_object_id(commit.tree)) return std::nullopt;
  std::vector<ObjectLink> links{{commit.tree, "tree"}};
  for (const ObjectId& parent : commit.parents) {
    if (!is_canonical_object_id(parent)) return std::nullopt;
    links.push_back({parent, "commit"});
  }
  return links;
}

std::string hex(const unsigned char* bytes, unsigned size) {
  static constexpr char k_digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned i = 0; i < size; ++i) {
    out.push_back(k_digits[bytes[i] >> 4]);
    out.push_back(k_digits[bytes[i] & 15]);
  }
  return out;
}

}  // namespace

struct ObjectChecker::State {
  size_t max_raw_size = 0;
  z_stream zs{};
  EVP_MD_CTX* digest = nullptr;
  std::string chunk = std::string(k_chunk, '\0');
  std::string header;   // the inflated bytes up to the NUL
  std::string content;  // a tree's or commit's content
  std::string type;
  size_t declared = 0;
  size_t seen = 0;  // content bytes inflated so far
  bool header_done = false;

  // Takes inflated bytes; false as soon as they cannot be a sound object.
  bool take(std::string_view bytes, std::string& problem);
  bool take_header(std::string_view& bytes, std::string& problem);
  bool inflate_all(std::string_view stored, std::string& problem);
};

bool ObjectChecker::State::take_header(std::string_view& bytes, std::string& problem) {
  size_t nul = bytes.find('\0');
  header.append(bytes.substr(0, nul));
  if (nul == std::string_view::npos) {
    bytes = {};
    if (header.size() <= k_max_header) return true;
    problem = "object header has no NUL";
    return false;
  }
  bytes.remove_prefix(nul + 1);
  size_t space = header.find(' ');
  if (space == std::string::npos || !is_known_type(header.substr(0, space)) ||
      !parse_size(std::string_view(header).substr(space + 1), declared)) {
    problem = "object header is malformed";
    return false;
  }
  if (declared > max_raw_size) {
    problem = "object is larger than the hub accepts";
    return false;
  }
  type = header.substr(0, space);
  header_done = true;
  return true;
}

bool ObjectChecker::State::take(std::string_view bytes, std::string& problem) {
  EVP_DigestUpdate(digest, bytes.data(), bytes.size());
  if (!header_done && !take_header(bytes, problem)) return false;
  seen += bytes.size();
  if (seen > declared) {
    problem = "object content is longer than its header says";
    return false;
  }
  if (type != "blob") content.append(bytes);
  return true;
}

bool ObjectChecker::State::inflate_all(std::string_view stored, std::string& problem) {
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stored.data()));
  zs.avail_in = static_cast<uInt>(stored.size());
  for (;;) {
    zs.next_out = reinterpret_cast<Bytef*>(chunk.data());
    zs.avail_out = static_cast<uInt>(chunk.size());
    const int rc = inflate(&zs, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) {
      problem = "object is not a complete zlib stream";
      return false;
    }
    if (!take(std::string_view(chunk.data(), chunk.size() - zs.avail_out), problem)) return false;
    if (rc == Z_STREAM_END) break;
  }
  if (zs.avail_in != 0) {
    problem = "object has bytes after its zlib stream";
    return false;
  }
  if (!header_done || seen != declared) {
    problem = "object content is shorter than its header says";
    return false;
  }
  return true;
}

ObjectChecker::ObjectChecker(size_t max_raw_size) : state_(std::make_unique<State>()) {
  state_->max_raw_size = max_raw_size;
  state_->digest = EVP_MD_CTX_new();
  if (state_->digest == nullptr || inflateInit(&state_->zs) != Z_OK) {
    EVP_MD_CTX_free(state_->digest);
    throw std::runtime_error("Cannot set up the object checker");
  }
}

ObjectChecker::~ObjectChecker() {
  inflateEnd(&state_->zs);
  EVP_MD_CTX_free(state_->digest);
}

std::optional<CheckedObject> ObjectChecker::check(std::string_view id, std::string_view stored,
                                                  std::string& problem) {
  State& s = *state_;
  if (!is_canonical_object_id(id)) {
    problem = "object id is not 64 lower-case hexadecimal digits";
    return std::nullopt;
  }
  inflateReset(&s.zs);
  EVP_DigestInit_ex(s.digest, EVP_sha256(), nullptr);
  s.header.clear();
  s.content.clear();
  s.type.clear();
  s.declared = s.seen = 0;
  s.header_done = false;
  if (!s.inflate_all(stored, problem)) return std::nullopt;

  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned size = 0;
  EVP_DigestFinal_ex(s.digest, digest, &size);
  if (hex(digest, size) != id) {
    problem = "object does not hash to its id";
    return std::nullopt;
  }
  CheckedObject checked{s.type, {}};
  if (s.type == "blob") return checked;
  try {
    std::optional<std::vector<ObjectLink>> links =
        s.type == "tree" ? tree_links(s.content) : commit_links(s.content);
    if (!links) {
      problem = s.type + " names a malformed id or entry";
      return std::nullopt;
    }
    checked.links = std::move(*links);
  } catch (const std::exception&) {
    problem = s.type + " is not valid JSON of its kind";
    return std::nullopt;
  }
  return checked;
}

std::optional<std::vector<TransferRecord>> split_transfer_stream(std::string_view bytes) {
  std::vector<TransferRecord> records;
  size_t pos = 0;
  while (pos < bytes.size() && bytes[pos] != '\n') {
    size_t newline = bytes.find('\n', pos);
    if (newline == std::string_view::npos) return std::nullopt;
    std::string_view line = bytes.substr(pos, newline - pos);
    // "F " + 64-digit id + " " + two numbers
    if (line.size() < 70 || line.substr(0, 2) != "F " || line[66] != ' ') return std::nullopt;
    std::string_view numbers = line.substr(67);
    size_t space = numbers.find(' ');
    size_t compressed = 0, raw = 0;
    if (space == std::string_view::npos || !parse_size(numbers.substr(0, space), compressed) ||
        !parse_size(numbers.substr(space + 1), raw) || compressed > bytes.size() - newline - 1) {
      return std::nullopt;
    }
    records.push_back({line.substr(2, 64), raw, bytes.substr(newline + 1, compressed)});
    pos = newline + 1 + compressed;
  }
  return records;
}
