#include "store/object.h"

#include <array>
#include <exception>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "store/canonical_json.h"
#include "store/codec.h"
#include "store/errors.h"
#include "store/fs.h"
#include "store/internal/store_state.h"
#include "store/pack_reader.h"
#include "store/repo.h"

// Objects are stored as loose files .orrery/objects/XX/<62 hex digits>, each
// the zlib stream (level 9) of the canonical bytes
//
//   <type> " " <decimal content length> "\0" <content>
//
// and named by the SHA-256 of those canonical bytes. Tree content is the
// compact JSON array of {"hash","mode","path","type"} objects; commit content
// is the compact JSON object {"author","message","parent"?,"parents"?,
// "timestamp","tree"} where "parent" appears only for exactly one parent and
// "parents" for one or more. nlohmann::json keeps members in key order, which
// makes both texts canonical.

using nlohmann::json;

namespace {

// The compact commit text serialize_commit writes, read without building a
// JSON document: log reads one commit per line it prints. Nothing for any
// other shape, so the full parser decides; like it, the "parents" list wins
// over "parent".
std::optional<Commit> parse_canonical_commit(std::string_view bytes) {
  CanonicalReader in{bytes};
  Commit commit;
  in.literal("{\"author\":") && in.escaped_string(commit.author) && in.literal(",\"message\":") &&
      in.escaped_string(commit.message);
  std::string single;
  const bool listed = in.maybe(",\"parent\":") ? in.string(single) && in.literal(",\"parents\":[")
                                               : in.maybe(",\"parents\":[");
  if (listed) {
    do {
      in.string(commit.parents.emplace_back());
    } while (in.maybe(","));
    in.literal("]");
  }
  in.literal(",\"timestamp\":") && in.number(commit.timestamp) && in.literal(",\"tree\":") &&
      in.string(commit.tree) && in.literal("}");
  if (!in.at_end()) return std::nullopt;
  return commit;
}

}  // namespace

ObjectStore::ObjectStore(std::string root_dir)
    : root(std::move(root_dir)), state(open_store_state(root)) {
  ensure_directory(orrery_path(root, "objects"));
}

bool is_object_id(std::string_view text) {
  if (text.size() != 64) return false;
  for (char c : text) {
    bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!hex) return false;
  }
  return true;
}

std::string loose_object_path(const std::string& root, std::string_view id) {
  std::string path = orrery_path(root, "objects/");
  path.append(id.substr(0, 2)).append("/").append(id.substr(2));
  return path;
}

// The objects an ObjectWriteBatch is holding back, by id.
struct PendingObjects {
  std::shared_ptr<StoreState> state;
  std::unordered_map<ObjectId, std::string> stored;
  size_t bytes = 0;
};

namespace {

// The batch of this thread, if any.
thread_local PendingObjects* t_pending = nullptr;

// Writing a group under one lock is what makes batching worth it: creating
// the lock directory costs far more than writing a small object.
constexpr size_t k_max_pending_objects = 2048;
constexpr size_t k_max_pending_bytes = 32 << 20;

PendingObjects* pending_for(const ObjectStore& store) {
  return t_pending != nullptr && t_pending->state == store.state ? t_pending : nullptr;
}

// write_file_atomic creates the fan-out directory when it is missing.
void write_loose_file(const std::string& root, std::string_view id, std::string_view stored) {
  std::string path = loose_object_path(root, id);
  if (!path_exists(path)) write_file_atomic(path, stored, Durability::deferred);
}

}  // namespace

ObjectWriteBatch::ObjectWriteBatch(const ObjectStore& store)
    : unwinding_(std::uncaught_exceptions()) {
  if (t_pending != nullptr) return;  // an outer batch already collects
  owned_ = std::make_unique<PendingObjects>();
  owned_->state = store.state;
  t_pending = owned_.get();
}

ObjectWriteBatch::~ObjectWriteBatch() {
  if (!owned_) return;
  // Only objects nothing refers to can still be pending here: every writer
  // of references and of the index flushes first and reports its errors.
  // After a failure they are dropped; writing them would mean waiting for
  // the lock a second time when the lock is what failed.
  if (std::uncaught_exceptions() == unwinding_) {
    try {
      flush_pending_objects();
    } catch (const std::exception&) {
      // Nothing names them.
    }
  }
  t_pending = nullptr;
}

void flush_pending_objects() {
  if (t_pending == nullptr || t_pending->stored.empty()) return;
  const std::string& root = t_pending->state->root;
  RepoLock lock(root);
  // write_object saw none of these on disk; one that another process wrote
  // since is replaced by an equal object, which costs less than a second
  // lookup for every object.
  for (const auto& [id, stored] : t_pending->stored) {
    write_file_atomic(loose_object_path(root, id), stored, Durability::deferred);
  }
  t_pending->stored.clear();
  t_pending->bytes = 0;
}

ObjectId write_object(const ObjectStore& store, std::string_view type, std::string_view content) {
  ObjectId id = object_hash(type, content);
  PendingObjects* pending = pending_for(store);
  if (pending != nullptr && pending->stored.count(id)) return id;
  // An object already on disk needs neither compression nor the lock.
  if (path_exists(loose_object_path(store.root, id))) return id;
  if (pending == nullptr) {
    write_raw_object(store, id, compress_object(type, content));
    return id;
  }
  std::string stored = compress_object(type, content);
  pending->bytes += stored.size();
  pending->stored.emplace(id, std::move(stored));
  if (pending->stored.size() >= k_max_pending_objects || pending->bytes >= k_max_pending_bytes) {
    flush_pending_objects();
  }
  return id;
}

bool write_raw_object(const ObjectStore& store, std::string_view id, std::string_view stored) {
  // Only a well-formed id may become a path: ids also arrive from remotes.
  if (!is_object_id(id)) return false;
  RepoLock lock(store.root);
  write_loose_file(store.root, id, stored);
  return true;
}

std::optional<std::string> read_raw_object(const ObjectStore& store, std::string_view id) {
  if (!is_object_id(id)) return std::nullopt;
  if (PendingObjects* pending = pending_for(store)) {
    auto it = pending->stored.find(std::string(id));
    if (it != pending->stored.end()) return it->second;
  }
  std::string bytes;
  if (read_store_file(loose_object_path(store.root, id), bytes)) return bytes;
  return find_in_packs(store, id);
}

namespace {

[[noreturn]] void damaged(std::string_view kind, std::string_view id, const std::string& why) {
  throw RepositoryDamaged("Damaged " + std::string(kind) + " " + std::string(id) + ": " + why);
}

// The canonical bytes of a stored form, checked, or RepositoryDamaged.
std::string inflate_checked(std::string_view id, std::string_view stored) {
  std::string canonical;
  std::string error;
  if (!inflate_object(stored, canonical, error)) damaged("object", id, error);
  return canonical;
}

// The inflated canonical bytes of an object, wherever it is stored.
std::optional<std::string> read_canonical_bytes(const ObjectStore& store, std::string_view id) {
  if (!is_object_id(id)) return std::nullopt;
  if (PendingObjects* pending = pending_for(store)) {
    auto it = pending->stored.find(std::string(id));
    if (it != pending->stored.end()) return zlib_decompress(it->second);
  }
  std::string stored;
  if (read_store_file(loose_object_path(store.root, id), stored)) {
    return inflate_checked(id, stored);
  }
  std::optional<PackedObject> packed = read_packed_object(store, id);
  if (!packed) return std::nullopt;
  if (!packed->is_raw) return inflate_checked(id, packed->bytes);
  std::string error;
  if (!check_canonical_object(packed->bytes, error)) damaged("object", id, error);
  return std::move(packed->bytes);
}

// Every member the tree text may have, as a string when it is one.
bool take_string(const json& object, const char* name, std::string& out) {
  auto it = object.find(name);
  if (it == object.end()) return true;
  if (!it->is_string()) return false;
  out = it->get<std::string>();
  return true;
}

std::optional<Tree> decode_tree(std::string_view bytes, std::string& error) {
  json document = json::parse(bytes, nullptr, /*allow_exceptions=*/false);
  if (!document.is_array()) {
    error = document.is_discarded() ? "not valid JSON" : "not a JSON array";
    return std::nullopt;
  }
  Tree tree;
  for (const json& element : document) {
    TreeEntry entry;
    if (!element.is_object() || !take_string(element, "mode", entry.mode) ||
        !take_string(element, "type", entry.type) || !take_string(element, "hash", entry.hash) ||
        !take_string(element, "path", entry.path)) {
      error = "malformed tree entry";
      return std::nullopt;
    }
    tree.push_back(std::move(entry));
  }
  return tree;
}

bool take_parents(const json& document, std::vector<ObjectId>& parents) {
  if (auto list = document.find("parents"); list != document.end()) {
    if (!list->is_array()) return false;
    for (const json& parent : *list) {
      if (!parent.is_string()) return false;
      parents.push_back(parent.get<std::string>());
    }
    return true;
  }
  std::string single;
  if (!take_string(document, "parent", single)) return false;
  if (document.contains("parent")) parents.push_back(std::move(single));
  return true;
}

std::optional<Commit> decode_commit(std::string_view bytes, std::string& error) {
  if (std::optional<Commit> canonical = parse_canonical_commit(bytes)) return canonical;
  json document = json::parse(bytes, nullptr, /*allow_exceptions=*/false);
  if (!document.is_object()) {
    error = document.is_discarded() ? "not valid JSON" : "not a JSON object";
    return std::nullopt;
  }
  Commit commit;
  if (!take_parents(document, commit.parents) || !take_string(document, "tree", commit.tree) ||
      !take_string(document, "author", commit.author) ||
      !take_string(document, "message", commit.message)) {
    error = "malformed commit member";
    return std::nullopt;
  }
  if (auto time = document.find("timestamp"); time != document.end()) {
    // Negative, fractional or too large for 64 bits: nothing a clock gave.
    if (!time->is_number_unsigned()) {
      error = "timestamp is not an unsigned 64-bit integer";
      return std::nullopt;
    }
    commit.timestamp = time->get<uint64_t>();
  }
  return commit;
}

}  // namespace

std::optional<Object> read_object(const ObjectStore& store, std::string_view id) {
  std::optional<std::string> canonical = read_canonical_bytes(store, id);
  if (!canonical) return std::nullopt;
  std::string& bytes = *canonical;
  // The header was checked: a type word, a space, digits, a NUL.
  size_t nul = bytes.find('\0');
  size_t space = bytes.find(' ');
  Object object;
  object.type = bytes.substr(0, space);
  bytes.erase(0, nul + 1);
  object.data = std::move(bytes);
  return object;
}

bool is_commit(const ObjectStore& store, std::string_view id) {
  if (!is_object_id(id)) return false;
  std::optional<Object> object = read_object(store, id);
  return object && object->type == "commit";
}

std::optional<Commit> read_commit(const ObjectStore& store, std::string_view id) {
  std::optional<Object> object = read_object(store, id);
  if (!object || object->type != "commit") return std::nullopt;
  std::string error;
  std::optional<Commit> commit = decode_commit(object->data, error);
  if (!commit) damaged("commit", id, error);
  return commit;
}

std::optional<Tree> read_tree(const ObjectStore& store, std::string_view id) {
  std::optional<Object> object = read_object(store, id);
  if (!object || object->type != "tree") return std::nullopt;
  std::string error;
  std::optional<Tree> tree = decode_tree(object->data, error);
  if (!tree) damaged("tree", id, error);
  return tree;
}

std::string serialize_tree(const Tree& tree) {
  json array = json::array();
  for (const TreeEntry& entry : tree) {
    array.push_back(
        {{"mode", entry.mode}, {"type", entry.type}, {"hash", entry.hash}, {"path", entry.path}});
  }
  return array.dump();
}

Tree parse_tree(std::string_view bytes) {
  std::string error;
  std::optional<Tree> tree = decode_tree(bytes, error);
  if (!tree) throw RepositoryDamaged("Damaged tree: " + error);
  return std::move(*tree);
}

std::string serialize_commit(const Commit& commit) {
  json object = json::object();
  object["tree"] = commit.tree;
  if (!commit.parents.empty()) {
    if (commit.parents.size() == 1) object["parent"] = commit.parents.front();
    object["parents"] = commit.parents;
  }
  object["author"] = commit.author;
  object["message"] = commit.message;
  object["timestamp"] = commit.timestamp;
  return object.dump();
}

Commit parse_commit(std::string_view bytes) {
  std::string error;
  std::optional<Commit> commit = decode_commit(bytes, error);
  if (!commit) throw RepositoryDamaged("Damaged commit: " + error);
  return std::move(*commit);
}

ObjectId blob_id(std::string_view content) { return object_hash("blob", content); }
