#include "store/index.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <nlohmann/json.hpp>
#include <optional>

#include "store/canonical_json.h"
#include "store/fs.h"
#include "store/object.h"
#include "store/repo.h"

// .orrery/index is JSON, dumped with an indent of two:
//
//   {"entries": {"<path>": {"hash": "<id>", "mode": N, "mtime": N, "size": N},
//                ...},
//    "version": 2}
//
// Entries are keyed by path in byte order. The old format, still read, maps
// each path straight to its blob id: {"<path>": "<id>", ...}.

using nlohmann::json;

namespace {

uint64_t number_member(const json& object, const char* name) {
  auto it = object.find(name);
  return it == object.end() ? 0 : it->get<uint64_t>();
}

Index parse_current_format(const json& document) {
  Index index;
  auto entries = document.find("entries");
  if (entries == document.end() || !entries->is_object()) return index;
  for (const auto& [path, value] : entries->items()) {
    if (!value.is_object()) continue;
    IndexEntry entry;
    if (auto hash = value.find("hash"); hash != value.end()) entry.hash = hash->get<std::string>();
    entry.size = number_member(value, "size");
    entry.mtime = number_member(value, "mtime");
    entry.mode = static_cast<uint32_t>(number_member(value, "mode"));
    if (!entry.hash.empty()) index.emplace(path, std::move(entry));
  }
  return index;
}

Index parse_old_format(const json& document) {
  Index index;
  for (const auto& [path, value] : document.items()) {
    index.emplace(path, IndexEntry{value.get<std::string>(), 0, 0, 0});
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
  entry.mode = static_cast<uint32_t>(mode);
  return in.ok;
}

// The text serialize_index writes, read without building a JSON document:
// a 10,000-entry index is read on every status. Nothing when the text has
// any other shape (or its paths are not strictly ascending), so the full
// parser decides.
std::optional<Index> parse_canonical_index(std::string_view text) {
  CanonicalReader in{text};
  Index index;
  if (!in.literal("{\n  \"entries\": ")) return std::nullopt;
  if (!in.maybe("{}")) {
    in.literal("{\n");
    std::string path;
    IndexEntry entry;
    while (read_canonical_entry(in, path, entry)) {
      if (!index.empty() && !(index.rbegin()->first < path)) return std::nullopt;
      if (!entry.hash.empty()) index.emplace_hint(index.end(), path, entry);
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

Index parse_index(std::string_view text) {
  if (std::optional<Index> index = parse_canonical_index(text)) return std::move(*index);
  json document = json::parse(text);
  if (!document.is_object()) return {};
  auto version = document.find("version");
  if (version != document.end() && version->is_number() && version->get<double>() >= 2) {
    return parse_current_format(document);
  }
  return parse_old_format(document);
}

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
  // Mapped rather than read: a 10,000-entry index is 2 MB, and mapping the
  // cached pages costs less than copying them into fresh memory.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (!path_exists(path)) return {};
    throw std::runtime_error("Cannot open file for reading: " + path);
  }
  struct stat st;
  void* mapped = MAP_FAILED;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    mapped = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE,
                    fd, 0);
  }
  ::close(fd);
  if (mapped == MAP_FAILED) return parse_index(read_file(path));
  struct Unmap {
    void* at;
    size_t size;
    ~Unmap() { ::munmap(at, size); }
  } unmap{mapped, static_cast<size_t>(st.st_size)};
  return parse_index(std::string_view(static_cast<const char*>(mapped), unmap.size));
}

void save_index(const Repository& repo, const Index& index) {
  flush_pending_objects();  // the index must not name an object not yet on disk
  write_file_atomic(orrery_path(repo, "index"), serialize_index(index));
}
