#include "pack/pack_reader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "pack/internal/raw_cache.h"
#include "pack/internal/record.h"
#include "pack/pack_writer.h"
#include "store/codec.h"
#include "store/fs.h"
#include "store/object.h"

// Reading trusts nothing in a pack: every length is checked against the bytes
// the file really holds before anything is allocated, a delta chain is walked
// with a loop that gives up after k_max_delta_chain records or on the first
// id it meets twice, and any damage reads as a missing object.
//
// An index is parsed once per process and kept as a sorted table of
// (id, offset); it is parsed again only when its size, mtime or inode change.
// The pack file behind it is opened on first use and stays open.
//
// Rebuilt delta objects are kept in a bounded cache together with the length
// of the chain they came from, so a chain is not walked again for each of its
// members and the chain limit gives the same answer whatever was read before.
// The cache is emptied whenever the set of indexes changes.

using nlohmann::json;

namespace {

constexpr size_t k_id_size = 64;
constexpr size_t k_raw_cache_budget = size_t{32} << 20;

struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec mtime{};

  bool operator==(const FileStamp& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           mtime.tv_sec == other.mtime.tv_sec && mtime.tv_nsec == other.mtime.tv_nsec;
  }
};

FileStamp stamp_of(const struct stat& st) { return {st.st_dev, st.st_ino, st.st_size, st.st_mtim}; }

struct IndexSlot {
  std::array<char, k_id_size> id;
  uint64_t offset;
};

bool slot_before(const IndexSlot& slot, std::string_view id) {
  return std::memcmp(slot.id.data(), id.data(), k_id_size) < 0;
}

// One index and the pack file it describes.
class IndexedPack {
 public:
  IndexedPack(std::string pack_path, FileStamp stamp, std::vector<IndexSlot> slots)
      : pack_path_(std::move(pack_path)), stamp_(stamp), slots_(std::move(slots)) {
    static uint64_t next_serial = 0;
    serial_ = ++next_serial;
  }
  ~IndexedPack() {
    if (fd_ >= 0) ::close(fd_);
  }
  IndexedPack(const IndexedPack&) = delete;
  IndexedPack& operator=(const IndexedPack&) = delete;

  const FileStamp& stamp() const { return stamp_; }
  // Unique for the life of the process, unlike the object's address.
  uint64_t serial() const { return serial_; }

  std::optional<uint64_t> offset_of(std::string_view id) const {
    auto it = std::lower_bound(slots_.begin(), slots_.end(), id, slot_before);
    if (it == slots_.end() || std::memcmp(it->id.data(), id.data(), k_id_size) != 0) {
      return std::nullopt;
    }
    return it->offset;
  }

  // The open pack file, or -1 when it cannot be opened; size() is its length.
  int fd() {
    if (!open_tried_) open_pack();
    return fd_;
  }
  uint64_t size() const { return size_; }

 private:
  void open_pack() {
    open_tried_ = true;
    fd_ = ::open(pack_path_.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
      ::close(fd_);
      fd_ = -1;
    }
    if (fd_ >= 0) size_ = static_cast<uint64_t>(st.st_size);
  }

  std::string pack_path_;
  FileStamp stamp_;
  uint64_t serial_ = 0;
  std::vector<IndexSlot> slots_;  // sorted by id
  bool open_tried_ = false;
  int fd_ = -1;
  uint64_t size_ = 0;
};

// The members of an index that can be looked up: 64-character keys whose
// entry holds an unsigned "offset". Anything that is not a JSON object yields
// no members at all.
std::vector<IndexSlot> parse_index_slots(const std::string& text) {
  std::vector<IndexSlot> slots;
  json index = json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (!index.is_object()) return slots;
  slots.reserve(index.size());
  for (const auto& [key, entry] : index.items()) {
    if (key.size() != k_id_size || !entry.is_object()) continue;
    auto offset = entry.find("offset");
    if (offset == entry.end() || !offset->is_number_unsigned()) continue;
    IndexSlot slot;
    std::memcpy(slot.id.data(), key.data(), k_id_size);
    slot.offset = offset->get<uint64_t>();
    slots.push_back(slot);
  }
  // Already in key order as parsed; sorting again keeps the lookup honest.
  std::sort(slots.begin(), slots.end(), [](const IndexSlot& a, const IndexSlot& b) {
    return std::memcmp(a.id.data(), b.id.data(), k_id_size) < 0;
  });
  return slots;
}

std::unordered_map<std::string, std::unique_ptr<IndexedPack>>& index_cache() {
  static std::unordered_map<std::string, std::unique_ptr<IndexedPack>> cache;
  return cache;
}

// The parsed index at `path`, from the cache unless the file changed.
IndexedPack& cached_index(const std::string& path, const FileStamp& stamp) {
  std::unique_ptr<IndexedPack>& entry = index_cache()[path];
  if (entry && entry->stamp() == stamp) return *entry;
  std::string text;
  try {
    if (!read_file_into(path, text)) text.clear();
  } catch (const std::runtime_error&) {
    text.clear();  // unreadable: no members, like a damaged index
  }
  std::string pack_path = path.substr(0, path.size() - std::strlen(".idx.json")) + ".pack";
  entry = std::make_unique<IndexedPack>(std::move(pack_path), stamp, parse_index_slots(text));
  return *entry;
}

bool is_index_name(std::string_view name) {
  constexpr std::string_view suffix = ".idx.json";
  return name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
}

RawCache& raw_cache() {
  static RawCache cache(k_raw_cache_budget);
  return cache;
}

// Empties the raw cache when the packs differ from those of the last call.
void forget_raws_unless_same(const std::vector<IndexedPack*>& packs) {
  static std::vector<uint64_t> last;
  bool same = last.size() == packs.size();
  for (size_t i = 0; same && i < packs.size(); ++i) same = last[i] == packs[i]->serial();
  if (same) return;
  raw_cache().clear();
  last.clear();
  for (const IndexedPack* pack : packs) last.push_back(pack->serial());
}

// The packs of the repository in the order the directory lists their indexes.
const std::vector<IndexedPack*>& current_packs(const std::string& root) {
  static std::vector<IndexedPack*> packs;
  packs.clear();
  const std::string dir = packs_directory(root);
  DIR* listing = ::opendir(dir.c_str());
  if (listing == nullptr) {
    forget_raws_unless_same(packs);
    return packs;
  }
  std::string path;
  while (const dirent* item = ::readdir(listing)) {
    if (!is_index_name(item->d_name)) continue;
    path.assign(dir).append("/").append(item->d_name);
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    packs.push_back(&cached_index(path, stamp_of(st)));
  }
  ::closedir(listing);
  forget_raws_unless_same(packs);
  return packs;
}

// Reads up to `size` bytes at `offset`; returns how many arrived.
size_t read_at(int fd, uint64_t offset, char* out, size_t size) {
  size_t filled = 0;
  while (filled < size) {
    ssize_t n = ::pread(fd, out + filled, size - filled, static_cast<off_t>(offset + filled));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    filled += static_cast<size_t>(n);
  }
  return filled;
}

// What one pack says about an id: nothing usable (try the next pack), a
// whole object, a delta, or a delta that cannot be completed (give up).
enum class Lookup { absent, full, delta, broken };

struct FoundRecord {
  std::string base;     // delta only
  uint64_t prefix = 0;  // delta only
  std::string payload;  // stored bytes (full) or suffix (delta)
};

// Reads `length` payload bytes at `offset` into found.payload, when the pack
// holds that many.
bool read_payload(IndexedPack& pack, uint64_t offset, uint64_t length, FoundRecord& found) {
  if (offset > pack.size() || length > pack.size() - offset) return false;
  found.payload.resize(length);
  return read_at(pack.fd(), offset, found.payload.data(), length) == length;
}

Lookup read_record(IndexedPack& pack, uint64_t offset, FoundRecord& found) {
  if (pack.fd() < 0 || offset >= pack.size()) return Lookup::absent;
  std::array<char, k_max_header_line> line;
  size_t wanted = static_cast<size_t>(std::min<uint64_t>(line.size(), pack.size() - offset));
  size_t got = read_at(pack.fd(), offset, line.data(), wanted);
  std::string_view head(line.data(), got);
  size_t newline = head.find('\n');
  if (newline == std::string_view::npos) return Lookup::absent;
  std::optional<RecordHeader> header = parse_record_header(head.substr(0, newline));
  if (!header) return Lookup::absent;
  uint64_t payload_at = offset + newline + 1;
  if (header->type == 'F') {
    return read_payload(pack, payload_at, header->first, found) ? Lookup::full : Lookup::absent;
  }
  if (!is_object_id(header->base)) return Lookup::broken;
  found.base.assign(header->base);
  found.prefix = header->first;
  return read_payload(pack, payload_at, header->second, found) ? Lookup::delta : Lookup::broken;
}

// The first pack that has a readable record for the id decides.
Lookup locate(const std::vector<IndexedPack*>& packs, std::string_view id, FoundRecord& found) {
  for (IndexedPack* pack : packs) {
    std::optional<uint64_t> offset = pack->offset_of(id);
    if (!offset) continue;
    Lookup result = read_record(*pack, *offset, found);
    if (result != Lookup::absent) return result;
  }
  return Lookup::absent;
}

struct DeltaStep {
  std::string id;
  uint64_t prefix;
  std::string suffix;
};

std::optional<std::string> inflate_base(const std::string& stored) {
  try {
    return zlib_decompress(stored);
  } catch (const std::runtime_error&) {
    return std::nullopt;  // a damaged base is as good as a missing one
  }
}

// Rebuilds the steps from the innermost outwards on the base's bytes,
// remembering every object on the way; `behind` is the base's own chain.
std::optional<std::string> apply_steps(const std::vector<DeltaStep>& steps, std::string raw,
                                       size_t behind) {
  for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
    if (step->prefix > raw.size()) return std::nullopt;
    raw.resize(step->prefix);
    raw.append(step->suffix);
    raw_cache().insert(step->id, raw, ++behind);
  }
  return raw;
}

// Follows the chain that starts with the delta `found` for `id` down to a
// whole object or a cached one, then rebuilds the canonical bytes upwards.
std::optional<std::string> resolve_delta(const std::vector<IndexedPack*>& packs,
                                         std::string_view id, FoundRecord& found) {
  std::vector<DeltaStep> steps;
  std::unordered_set<std::string> seen{std::string(id)};
  std::string current(id);
  for (;;) {
    if (!seen.insert(found.base).second) return std::nullopt;
    steps.push_back({std::move(current), found.prefix, std::move(found.payload)});
    if (steps.size() > k_max_delta_chain) return std::nullopt;
    current = std::move(found.base);
    if (const RawCache::Entry* cached = raw_cache().find(current)) {
      if (steps.size() + cached->chain > k_max_delta_chain) return std::nullopt;
      return apply_steps(steps, cached->raw, cached->chain);
    }
    Lookup next = locate(packs, current, found);
    if (next == Lookup::full) {
      std::optional<std::string> base = inflate_base(found.payload);
      return base ? apply_steps(steps, std::move(*base), 0) : std::nullopt;
    }
    if (next != Lookup::delta) return std::nullopt;
  }
}

}  // namespace

std::optional<std::string> find_in_packs(const std::string& root, std::string_view id) {
  if (id.size() != k_id_size) return std::nullopt;
  const std::vector<IndexedPack*>& packs = current_packs(root);
  if (const RawCache::Entry* cached = raw_cache().find(id)) return zlib_compress(cached->raw);
  FoundRecord found;
  switch (locate(packs, id, found)) {
    case Lookup::full:
      return std::move(found.payload);
    case Lookup::delta: {
      std::optional<std::string> raw = resolve_delta(packs, id, found);
      return raw ? std::optional(zlib_compress(*raw)) : std::nullopt;
    }
    default:
      return std::nullopt;
  }
}
