#include "pack/pack_writer.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <random>
#include <stdexcept>

#include "pack/internal/writer.h"
#include "store/codec.h"
#include "store/errors.h"
#include "store/fs.h"
#include "store/object.h"
#include "store/pack_record.h"
#include "store/repo.h"
#include "util/atomic_file.h"

// A pack file has no header and no trailer: it is a sequence of records, each
// an ASCII header line and its payload.
//
//   "F " id " " compressed-length " " raw-length "\n"  stored bytes of the loose file
//   "D " id " " base-id " " prefix-length " " suffix-length "\n"  suffix bytes
//
// A delta object's canonical (inflated) bytes are the first prefix-length
// bytes of its base's followed by the suffix; the base is always the record
// written just before. Objects go in the order the file system lists them,
// and each is compared with its predecessor only: a delta is written when the
// two share at least 64 leading bytes and the delta saves more than 128,
// unless the chain of deltas behind the predecessor is already as long as a
// reader will follow.
//
// The index is a JSON object keyed by id, written with an indent of 2 and
// keys in order:
//   full:  {"compressed": n, "offset": n, "raw": n, "type": "full"}
//   delta: {"base": id, "offset": n, "prefix": n, "suffix": n, "type": "delta"}
// where "offset" is the position of the record's header line.

using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// A delta must share a real prefix with its base and save more than 128 bytes
// over the plain tail; anything less is stored whole.
bool is_worth_a_delta(size_t prefix, size_t raw_size) {
  return prefix >= 64 && raw_size - prefix + 128 < raw_size;
}

std::string random_pack_name() {
  thread_local std::mt19937_64 engine{std::random_device{}()};
  std::array<char, 16> digits;
  auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), engine(), 16);
  (void)error;  // 16 hexadecimal digits hold any 64-bit number
  return "pack-" + std::string(digits.data(), end);
}

// Buffered, checked writes into a pack file that is deleted again unless the
// pack is completed with keep().
class PackOutput {
 public:
  explicit PackOutput(const std::string& dir) {
    // A clash with an existing pack is astronomically rare, but never
    // overwrite one: draw another name instead. Synced, since gc deletes the
    // loose copies once the pack exists.
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
      name_ = random_pack_name();
      error = file_.create_new(dir + "/" + name_ + ".pack", {.sync = AtomicFile::Sync::file});
    }
    if (error != 0) throw std::runtime_error("Cannot open pack for writing");
  }

  const std::string& name() const { return name_; }
  uint64_t position() const { return position_; }

  void append(std::string_view bytes) {
    position_ += bytes.size();
    check(file_.append(bytes));
  }

  // Writes what is buffered, syncs and closes the file; throws on any failure.
  void finish() { check(file_.finish()); }

  void keep() { check(file_.commit()); }

 private:
  void check(int error) {
    if (error != 0) {
      throw std::runtime_error("Cannot write pack: " + file_.path() + " -> " +
                               std::strerror(error));
    }
  }

  std::string name_;
  AtomicFile file_;
  uint64_t position_ = 0;
};

// The state carried from one object to the next while a pack is written.
struct PackBuilder {
  PackBuilder(PackOutput& output, size_t chain_limit) : out(output), max_chain(chain_limit) {}

  PackOutput& out;
  const size_t max_chain;
  json index = json::object();
  std::string previous_id;
  std::string previous_raw;
  size_t previous_chain = 0;  // delta records from the previous one down to a whole one
  std::string stored;         // reused for every loose file
  std::string header;         // reused for every header line
};

void write_full_record(PackBuilder& pack, const std::string& id, const std::string& raw) {
  uint64_t offset = pack.out.position();
  pack.header.clear();
  append_full_header(pack.header, id, pack.stored.size(), raw.size());
  pack.out.append(pack.header);
  pack.out.append(pack.stored);
  pack.index[id] = {{"compressed", pack.stored.size()},
                    {"offset", offset},
                    {"raw", raw.size()},
                    {"type", "full"}};
}

void write_delta_record(PackBuilder& pack, const std::string& id, const std::string& raw,
                        size_t prefix) {
  uint64_t offset = pack.out.position();
  uint64_t suffix = raw.size() - prefix;
  pack.header.clear();
  append_delta_header(pack.header, id, pack.previous_id, prefix, suffix);
  pack.out.append(pack.header);
  pack.out.append(std::string_view(raw).substr(prefix));
  pack.index[id] = {{"base", pack.previous_id},
                    {"offset", offset},
                    {"prefix", prefix},
                    {"suffix", suffix},
                    {"type", "delta"}};
}

void add_object(PackBuilder& pack, const std::string& id, const std::string& path) {
  if (!read_store_file(path, pack.stored)) {
    throw std::runtime_error("Cannot open file for reading: " + path);
  }
  // A damaged object must not spread into a pack: it is reported by id.
  std::string raw;
  std::string error;
  if (!inflate_object(pack.stored, raw, error)) {
    throw RepositoryDamaged("Damaged object " + id + ": " + error);
  }
  size_t prefix = 0;
  if (!pack.previous_id.empty()) {
    size_t shorter = std::min(raw.size(), pack.previous_raw.size());
    prefix = std::mismatch(raw.begin(), raw.begin() + shorter, pack.previous_raw.begin()).first -
             raw.begin();
  }
  if (is_worth_a_delta(prefix, raw.size()) && pack.previous_chain < pack.max_chain) {
    write_delta_record(pack, id, raw, prefix);
    ++pack.previous_chain;
  } else {
    write_full_record(pack, id, raw);
    pack.previous_chain = 0;
  }
  pack.previous_id = id;
  pack.previous_raw.swap(raw);
}

// The id a file under .orrery/objects stands for: its 2-character directory
// name and its own name, when together they form an object id.
std::optional<std::string> loose_file_id(const fs::directory_entry& entry) {
  if (entry.symlink_status().type() != fs::file_type::regular) return std::nullopt;
  std::string dir = entry.path().parent_path().filename().string();
  if (dir.size() != 2) return std::nullopt;
  std::string id = dir + entry.path().filename().string();
  if (!is_object_id(id)) return std::nullopt;
  return id;
}

}  // namespace

std::string write_pack(const std::string& root, Progress* progress) {
  return write_pack_with_chain_limit(root, k_max_delta_chain, progress);
}

std::string write_pack_with_chain_limit(const std::string& root, size_t max_chain,
                                        Progress* progress) {
  // Objects a write batch still holds back belong in the pack too; they must
  // reach the disk before the lock is ours, since flushing takes it as well.
  flush_pending_objects();
  RepoLock lock(root);
  const std::string objects_dir = orrery_path(root, "objects");
  if (!is_directory(objects_dir)) throw std::runtime_error("No objects directory");
  const std::string dir = packs_directory(root);
  ensure_directory(dir);

  PackOutput out(dir);
  PackBuilder pack(out, max_chain);
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(objects_dir)) {
    std::optional<std::string> id = loose_file_id(entry);
    if (!id) continue;
    add_object(pack, *id, entry.path().string());
    if (progress) progress->add(1, pack.stored.size());
  }
  out.finish();
  write_file_atomic(dir + "/" + out.name() + ".idx.json", pack.index.dump(2), Durability::synced);
  out.keep();
  return out.name();
}

size_t prune_packed_loose(const std::string& root, const std::string& name) {
  RepoLock lock(root);
  const std::string path = packs_directory(root) + "/" + name + ".idx.json";
  std::string text;
  if (!read_store_file(path, text)) return 0;
  json index = json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (index.is_discarded()) throw RepositoryDamaged("Damaged pack index: " + path);
  if (!index.is_object()) return 0;
  size_t deleted = 0;
  for (const auto& member : index.items()) {
    if (!is_object_id(member.key())) continue;
    if (::unlink(loose_object_path(root, member.key()).c_str()) == 0) ++deleted;
  }
  return deleted;
}
