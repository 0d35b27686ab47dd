#include "store/index.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <nlohmann/json.hpp>
#include <optional>

#include "store/canonical_json.h"
#include "store/errors.h"
#include "store/fs.h"
#include "store/object.h"
#include "store/repo.h"
#include "store/tree_walk.h"
#include "util/handles.h"

// .orrery/index is JSON, dumped with an indent of two:
//
//   {"entries": {"<path>": {"hash": "<id>", "mode": N, "mtime": N, "size": N},
//                ...},
//    "version": 2}
//
// Entries are keyed by path in byte order. The old format, still read, maps
// each path straight to its blob id: {"<path>": "<id>", ...}.
//
// Nothing in it is trusted: a key must be a path checkout could write, an id
// 64 lower-case hex digits (an empty one drops the entry), a number an
// unsigned integer of its field's width. Anything else makes the index
// damaged, reported with its path, never partly used.

using nlohmann::json;

namespace {

// Where an index text came from, for the damage report.
struct Source {
  std::string_view path;  // empty for a text given directly

  [[noreturn]] void damaged(const std::string& why) const {
    throw RepositoryDamaged(path.empty() ? "Damaged index: " + why
                                         : "Damaged index " + std::string(path) + ": " + why);
  }
};

bool is_lower_hex_id(std::string_view text) {
  if (text.size() != 64) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// Adds an entry whose key and id passed; an empty id drops it.
void add_checked(Index& index, const Source& source, const std::string& path, IndexEntry entry) {
  if (!is_safe_index_path(path)) source.damaged("unsafe path " + path);
  if (entry.hash.empty()) return;
  if (!is_lower_hex_id(entry.hash)) source.damaged("invalid object id for " + path);
  index.insert_or_assign(path, std::move(entry));
}

uint64_t number_member(const json& object, const char* name, uint64_t max, const Source& source,
                       const std::string& path) {
  auto it = object.find(name);
  if (it == object.end()) return 0;
  // Negative, fractional or past 64 bits: no stat gave it.
  if (!it->is_number_unsigned() || it->get<uint64_t>() > max) {
    source.damaged(std::string(name) + " out of range for " + path);
  }
  return it->get<uint64_t>();
}

Index parse_current_format(const json& document, const Source& source) {
  Index index;
  auto entries = document.find("entries");
  if (entries == document.end() || !entries->is_object()) return index;
  for (const auto& [path, value] : entries->items()) {
    if (!value.is_object()) continue;
    IndexEntry entry;
    if (auto hash = value.find("hash"); hash != value.end()) {
      if (!hash->is_string()) source.damaged("invalid object id for " + path);
      entry.hash = hash->get<std::string>();
    }
    entry.size = number_member(value, "size", UINT64_MAX, source, path);
    entry.mtime = number_member(value, "mtime", UINT64_MAX, source, path);
    entry.mode = static_cast<uint32_t>(number_member(value, "mode", UINT32_MAX, source, path));
    add_checked(index, source, path, std::move(entry));
  }
  return index;
}

Index parse_old_format(const json& document, const Source& source) {
  Index index;
  for (const auto& [path, value] : document.items()) {
    if (!value.is_string()) source.damaged("invalid object id for " + path);
    add_checked(index, source, path, IndexEntry{value.get<std::string>(), 0, 0, 0});
  }
  return index;
}

// One entry of the current format exactly as serialize_index lays it out;
// false (the reader's ok cleared) for anything else.
bool read_canonical_entry(CanonicalReader& in, std::string& path, IndexEntry& entry) {
  uint64_t mode = 0;
  in.literal("    ") && in.string(path) && in.literal(": {\n      \"hash\": ") &&
      in.string(entry.hash) && in.literal(",\n      \"mode\": ") && in.number(mode) &&
      in.literal(",\n      \"mtime\": ") && in.number(entry.mtime) &&
      in.literal(",\n      \"size\": ") && in.number(entry.size) && in.literal("\n    }");
  // A mode past 32 bits is left to the full parser, which reports it.
  if (mode > UINT32_MAX) in.ok = false;
  entry.mode = static_cast<uint32_t>(mode);
  return in.ok;
}

// The text serialize_index writes, read without building a JSON document:
// a 10,000-entry index is read on every status. Nothing when the text has
// any other shape (or its paths are not strictly ascending), so the full
// parser decides.
std::optional<Index> parse_canonical_index(std::string_view text, const Source& source) {
  CanonicalReader in{text};
  Index index;
  if (!in.literal("{\n  \"entries\": ")) return std::nullopt;
  if (!in.maybe("{}")) {
    in.literal("{\n");
    std::string path;
    IndexEntry entry;
    while (read_canonical_entry(in, path, entry)) {
      if (!index.empty() && !(index.rbegin()->first < path)) return std::nullopt;
      if (!is_safe_index_path(path)) source.damaged("unsafe path " + path);
      if (!entry.hash.empty()) {
        if (!is_lower_hex_id(entry.hash)) source.damaged("invalid object id for " + path);
        index.emplace_hint(index.end(), path, entry);
      }
      if (!in.maybe(",\n")) break;
    }
    in.literal("\n  }");
  }
  in.literal(",\n  \"version\": 2\n}");
  if (!in.at_end()) return std::nullopt;
  return index;
}

void append_number(std::string& out, uint64_t value) {
  char digits[20];
  out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// The text the JSON writer gives an index whose paths and hashes need no
// escaping, built by appending; nothing otherwise. add of one file rewrites
// the whole index, and the JSON document for 10,000 entries cost several
// times the text itself.
std::optional<std::string> serialize_plain_index(const Index& index) {
  std::string out;
  // Room for every entry at once: growing a megabyte of text step by step
  // copies it again and again into fresh pages.
  out.reserve(64 + index.size() * 256);
  out = "{\n  \"entries\": {";
  if (index.empty()) out += "}";
  for (const auto& [path, entry] : index) {
    if (!is_plain_json_string(path) || !is_plain_json_string(entry.hash)) return std::nullopt;
    out.append(out.back() == '{' ? "\n    \"" : ",\n    \"").append(path);
    out.append("\": {\n      \"hash\": \"").append(entry.hash).append("\",\n      \"mode\": ");
    append_number(out, entry.mode);
    out.append(",\n      \"mtime\": ");
    append_number(out, entry.mtime);
    out.append(",\n      \"size\": ");
    append_number(out, entry.size);
    out.append("\n    }");
  }
  if (!index.empty()) out += "\n  }";
  out += ",\n  \"version\": 2\n}";
  return out;
}

}  // namespace

namespace {

Index parse_index_from(std::string_view text, const Source& source) {
  if (std::optional<Index> index = parse_canonical_index(text, source)) return std::move(*index);
  json document = json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (document.is_discarded()) source.damaged("not valid JSON");
  if (!document.is_object()) return {};
  auto version = document.find("version");
  if (version != document.end() && version->is_number() && version->get<double>() >= 2) {
    return parse_current_format(document, source);
  }
  return parse_old_format(document, source);
}

}  // namespace

Index parse_index(std::string_view text) { return parse_index_from(text, Source{}); }

std::string serialize_index(const Index& index) {
  if (std::optional<std::string> text = serialize_plain_index(index)) return std::move(*text);
  json entries = json::object();
  for (const auto& [path, entry] : index) {
    entries[path] = {
        {"hash", entry.hash}, {"size", entry.size}, {"mtime", entry.mtime}, {"mode", entry.mode}};
  }
  json document = {{"version", 2}, {"entries", std::move(entries)}};
  return document.dump(2);
}

Index load_index(const Repository& repo) {
  const std::string path = orrery_path(repo, "index");
  const Source source{path};
  // Mapped rather than read: a 10,000-entry index is 2 MB, and mapping the
  // cached pages costs less than copying them into fresh memory. Opened
  // without following a link or waiting on a FIFO, and only a regular file
  // is read.
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) {
    if (errno == ENOENT) return {};
    if (errno == ELOOP || errno == ENXIO) throw RepositoryDamaged("Not a regular file: " + path);
    throw std::runtime_error("Cannot open file for reading: " + path);
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    throw RepositoryDamaged("Not a regular file: " + path);
  }
  const MappedFile mapped(fd.get(), static_cast<size_t>(st.st_size), /*populate=*/true);
  if (mapped.empty()) {
    std::string text;
    if (!read_store_file(path, text)) return {};
    return parse_index_from(text, source);
  }
  return parse_index_from(mapped.bytes(), source);
}

void save_index(const Repository& repo, const Index& index) {
  flush_pending_objects();  // the index must not name an object not yet on disk
  write_file_atomic(orrery_path(repo, "index"), serialize_index(index), Durability::synced);
}
