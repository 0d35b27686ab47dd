#include "store/index.h"

#include <nlohmann/json.hpp>

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

}  // namespace

Index parse_index(std::string_view text) {
  json document = json::parse(text);
  if (!document.is_object()) return {};
  auto version = document.find("version");
  if (version != document.end() && version->is_number() && version->get<double>() >= 2) {
    return parse_current_format(document);
  }
  return parse_old_format(document);
}

std::string serialize_index(const Index& index) {
  json entries = json::object();
  for (const auto& [path, entry] : index) {
    entries[path] = {
        {"hash", entry.hash}, {"size", entry.size}, {"mtime", entry.mtime}, {"mode", entry.mode}};
  }
  json document = {{"version", 2}, {"entries", std::move(entries)}};
  return document.dump(2);
}

Index load_index(const Repository& repo) {
  std::string text;
  if (!read_file_into(orrery_path(repo, "index"), text)) {
    if (!path_exists(orrery_path(repo, "index"))) return {};
    throw std::runtime_error("Cannot open file for reading: " + orrery_path(repo, "index"));
  }
  return parse_index(text);
}

void save_index(const Repository& repo, const Index& index) {
  flush_pending_objects();  // the index must not name an object not yet on disk
  write_file_atomic(orrery_path(repo, "index"), serialize_index(index));
}
