#include "pack/internal/pack_set.h"

#include <dirent.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <unordered_map>

#include "pack/pack_writer.h"
#include "store/canonical_json.h"
#include "store/fs.h"

// Looking an object up must not cost a system call per pack: a repository
// that has seen many gc runs has many packs. So the listing of .orrery/packs
// is kept with the directory's stamp and reused while that stays the same.
// File times come from a coarse clock, so a directory changed within the
// same tick keeps its mtime; a listing is therefore trusted only if the
// directory had been quiet for k_quiet_seconds when it was read. A recent
// listing is still reused while every index it holds has the stamp it had,
// which notices a replaced or removed index (one stat per pack, not the
// whole directory read again); a pack added within the tick is seen when a
// reader that found nothing calls relist_recent_packs.

using nlohmann::json;

namespace {

constexpr size_t k_id_size = 64;
constexpr time_t k_quiet_seconds = 2;

FileStamp stamp_of(const struct stat& st) { return {st.st_dev, st.st_ino, st.st_size, st.st_mtim}; }

struct Listing {
  std::string dir;
  FileStamp stamp;
  bool trusted = false;
  std::vector<IndexedPack*> packs;
  std::vector<uint64_t> serials;  // of packs, to tell a new set from the old
  uint64_t generation = 0;
};

// Everything a reader keeps for the process.
struct ReaderState {
  std::deque<IndexedPack*> open;  // packs with an open file, least recently opened first
  std::unordered_map<std::string, std::unique_ptr<IndexedPack>> indexes;  // by index path
  Listing listing;
};

ReaderState& reader_state() {
  // Never destroyed: exit closes the files, and no destructor of an index
  // can then run into a half-destroyed state.
  static ReaderState* state = new ReaderState;
  return *state;
}

bool id_less(const IndexedPack::Slot& a, const IndexedPack::Slot& b) {
  return std::memcmp(a.id.data(), b.id.data(), k_id_size) < 0;
}

void note_opened(IndexedPack* pack) {
  std::deque<IndexedPack*>& open = reader_state().open;
  open.push_back(pack);
  if (open.size() > k_max_open_packs) open.front()->close_pack();
}

std::string read_index_text(const std::string& path) {
  std::string text;
  try {
    if (!read_store_file(path, text)) text.clear();
  } catch (const std::runtime_error&) {
    text.clear();  // unreadable: no members, like a damaged index
  }
  return text;
}

// The parsed index at `path`, from the cache unless the file changed.
IndexedPack* cached_index(const std::string& path, const FileStamp& stamp) {
  std::unique_ptr<IndexedPack>& entry = reader_state().indexes[path];
  if (entry && entry->stamp() == stamp) return entry.get();
  entry = std::make_unique<IndexedPack>(path, stamp, parse_index_slots(read_index_text(path)));
  return entry.get();
}

bool is_index_name(std::string_view name) {
  constexpr std::string_view suffix = ".idx.json";
  return name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
}

void list_indexes(const std::string& dir, std::vector<IndexedPack*>& packs) {
  DIR* listing = ::opendir(dir.c_str());
  if (listing == nullptr) return;
  std::string path;
  while (const dirent* item = ::readdir(listing)) {
    if (!is_index_name(item->d_name)) continue;
    path.assign(dir).append("/").append(item->d_name);
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    packs.push_back(cached_index(path, stamp_of(st)));
  }
  ::closedir(listing);
}

// One entry of the index text the pack writer produces; false (and `in`
// not ok) for any other shape.
bool read_written_entry(CanonicalReader& in, std::string& id, IndexedPack::Slot& slot) {
  uint64_t unused = 0;
  std::string base;
  in.literal("\n  ") && in.string(id) && in.literal(": {\n    \"");
  if (in.maybe("compressed\": ")) {
    return in.number(slot.length) && in.literal(",\n    \"offset\": ") && in.number(slot.offset) &&
           in.literal(",\n    \"raw\": ") && in.number(unused) &&
           in.literal(",\n    \"type\": \"full\"\n  }");
  }
  return in.literal("base\": ") && in.string(base) && in.literal(",\n    \"offset\": ") &&
         in.number(slot.offset) && in.literal(",\n    \"prefix\": ") && in.number(unused) &&
         in.literal(",\n    \"suffix\": ") && in.number(slot.length) &&
         in.literal(",\n    \"type\": \"delta\"\n  }");
}

// The index text exactly as the pack writer produces it (indented by two,
// ids in ascending order, no id twice), read without building a JSON
// document: the first packed read of every process parses a whole index.
// Nothing for any other text, which the full parser then reads.
std::optional<std::vector<IndexedPack::Slot>> parse_written_index(std::string_view text) {
  CanonicalReader in{text};
  std::vector<IndexedPack::Slot> slots;
  if (!in.literal("{")) return std::nullopt;
  if (in.maybe("}")) return in.at_end() ? std::optional(slots) : std::nullopt;
  std::string id;
  IndexedPack::Slot slot{};
  do {
    if (!read_written_entry(in, id, slot)) return std::nullopt;
    if (id.size() != k_id_size) continue;
    std::memcpy(slot.id.data(), id.data(), k_id_size);
    if (!slots.empty() && !id_less(slots.back(), slot)) return std::nullopt;
    slots.push_back(slot);
  } while (in.maybe(","));
  if (!in.literal("\n}") || !in.at_end()) return std::nullopt;
  return slots;
}

// True while every index of the listing still has the stamp it was read
// with: a rename over one gives it a new inode, a removal fails the stat.
bool indexes_unchanged(const Listing& last) {
  for (const IndexedPack* pack : last.packs) {
    struct stat st;
    if (::stat(pack->index_path().c_str(), &st) != 0 || !(stamp_of(st) == pack->stamp())) {
      return false;
    }
  }
  return true;
}

bool was_quiet_before_now(const FileStamp& stamp) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec - stamp.mtime.tv_sec > k_quiet_seconds;
}

void list_packs(Listing& last, const std::string& dir, bool present, const FileStamp& stamp) {
  last.packs.clear();
  if (present) list_indexes(dir, last.packs);
  last.dir = dir;
  last.stamp = stamp;
  last.trusted = present && was_quiet_before_now(stamp);
  std::vector<uint64_t> serials;
  for (const IndexedPack* pack : last.packs) serials.push_back(pack->serial());
  if (serials != last.serials) {
    last.serials = std::move(serials);
    ++last.generation;
  }
}

}  // namespace

bool FileStamp::operator==(const FileStamp& other) const {
  return device == other.device && inode == other.inode && size == other.size &&
         mtime.tv_sec == other.mtime.tv_sec && mtime.tv_nsec == other.mtime.tv_nsec;
}

IndexedPack::IndexedPack(std::string index_path, FileStamp stamp, std::vector<Slot> slots)
    : index_path_(std::move(index_path)),
      pack_path_(index_path_.substr(0, index_path_.size() - std::strlen(".idx.json")) + ".pack"),
      stamp_(stamp),
      slots_(std::move(slots)) {
  static uint64_t last_serial = 0;
  serial_ = ++last_serial;
}

IndexedPack::~IndexedPack() { close_pack(); }

const IndexedPack::Slot* IndexedPack::find(std::string_view id) const {
  if (id.size() != k_id_size) return nullptr;
  Slot key;
  std::memcpy(key.id.data(), id.data(), k_id_size);
  auto it = std::lower_bound(slots_.begin(), slots_.end(), key, id_less);
  if (it == slots_.end() || id_less(key, *it)) return nullptr;
  return &*it;
}

int IndexedPack::fd() {
  if (open_tried_) return fd_;
  open_tried_ = true;
  fd_ = ::open(pack_path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return fd_;
  struct stat st;
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    return fd_;
  }
  size_ = static_cast<uint64_t>(st.st_size);
  note_opened(this);
  return fd_;
}

void IndexedPack::close_pack() {
  open_tried_ = false;
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  std::deque<IndexedPack*>& open = reader_state().open;
  open.erase(std::find(open.begin(), open.end(), this));
}

std::vector<IndexedPack::Slot> parse_index_slots(std::string_view text) {
  if (std::optional<std::vector<IndexedPack::Slot>> slots = parse_written_index(text)) {
    return std::move(*slots);
  }
  std::vector<IndexedPack::Slot> slots;
  json index = json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (!index.is_object()) return slots;
  slots.reserve(index.size());
  for (const auto& [key, entry] : index.items()) {
    if (key.size() != k_id_size || !entry.is_object()) continue;
    auto offset = entry.find("offset");
    if (offset == entry.end() || !offset->is_number_unsigned()) continue;
    IndexedPack::Slot slot;
    std::memcpy(slot.id.data(), key.data(), k_id_size);
    slot.offset = offset->get<uint64_t>();
    slot.length = 0;
    for (const char* name : {"compressed", "suffix"}) {
      auto length = entry.find(name);
      if (length != entry.end() && length->is_number_unsigned()) {
        slot.length = length->get<uint64_t>();
        break;
      }
    }
    slots.push_back(slot);
  }
  // Parsed members come in key order already; sorting keeps lookups honest.
  std::sort(slots.begin(), slots.end(), id_less);
  return slots;
}

const std::vector<IndexedPack*>& current_packs(const std::string& root) {
  Listing& last = reader_state().listing;
  const std::string dir = packs_directory(root);
  struct stat st;
  bool present = ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  FileStamp stamp = present ? stamp_of(st) : FileStamp{};
  if (present && last.dir == dir && last.stamp == stamp &&
      (last.trusted || indexes_unchanged(last))) {
    return last.packs;
  }
  list_packs(last, dir, present, stamp);
  return last.packs;
}

bool relist_recent_packs(const std::string& root) {
  Listing& last = reader_state().listing;
  const std::string dir = packs_directory(root);
  if (last.dir == dir && last.trusted) return false;
  const uint64_t generation = last.generation;
  struct stat st;
  bool present = ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  list_packs(last, dir, present, present ? stamp_of(st) : FileStamp{});
  return last.generation != generation;
}

uint64_t pack_set_generation() { return reader_state().listing.generation; }
