#include "store/internal/pack_set.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <nlohmann/json.hpp>

#include "store/canonical_json.h"

// Looking an object up must not cost a system call per pack: a repository
// that has seen many gc runs has many packs. So the listing of .orrery/packs
// is kept with the directory's stamp and reused while that stays the same.
// File times come from a coarse clock, so a directory changed within the
// same tick keeps its mtime; a listing is therefore trusted only if the
// directory had been quiet for k_quiet_seconds when it was read. A recent
// listing is still reused while every index it holds has the stamp it had,
// which notices a replaced or removed index (one stat per pack, not the
// whole directory read again); a pack added within the tick is seen when a
// reader that found nothing calls relist_recent.
//
// An index is not parsed to find one entry: a command that reads one commit
// from a pack of a large repository would otherwise read a table of every
// object first. The writer's text lists its ids in ascending order, one
// entry starting on each line indented by exactly two spaces, so the entry
// is found by bisecting the mapped text. Any other text is parsed whole
// once, as are texts whose entries have another shape.

using nlohmann::json;

namespace {

constexpr size_t k_id_size = 64;
constexpr time_t k_quiet_seconds = 2;
// What opens every entry of the writer's text, and what closes the text.
constexpr std::string_view k_entry_start = "\n  \"";
constexpr std::string_view k_written_end = "\n  }\n}";

FileStamp stamp_of(const struct stat& st) { return {st.st_dev, st.st_ino, st.st_size, st.st_mtim}; }

bool id_less(const IndexedPack::Slot& a, const IndexedPack::Slot& b) {
  return std::memcmp(a.id.data(), b.id.data(), k_id_size) < 0;
}

// Maps the regular file at path read-only; an empty mapping when it cannot.
MappedFile map_index(const std::string& path) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st;
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  return MappedFile(fd.get(), static_cast<size_t>(st.st_size));
}

bool is_index_name(std::string_view name) {
  constexpr std::string_view suffix = ".idx.json";
  return name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
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

// The key of the entry that starts at `at` (a k_entry_start), up to its
// closing quote; the rest of the text when there is none.
std::string_view key_at(std::string_view text, size_t at) {
  std::string_view rest = text.substr(at + k_entry_start.size());
  return rest.substr(0, rest.find('"'));
}

}  // namespace

bool FileStamp::operator==(const FileStamp& other) const {
  return device == other.device && inode == other.inode && size == other.size &&
         mtime.tv_sec == other.mtime.tv_sec && mtime.tv_nsec == other.mtime.tv_nsec;
}

std::optional<IndexedPack::Slot> find_written_slot(std::string_view text, std::string_view id,
                                                   bool& usable) {
  usable = text == "{}" || (text.starts_with('{') && text.substr(1).starts_with(k_entry_start) &&
                            text.size() >= k_written_end.size() &&
                            text.substr(text.size() - k_written_end.size()) == k_written_end);
  if (!usable || id.size() != k_id_size) return std::nullopt;
  // Entries start only where a line holds two spaces and a quote: no string
  // of a JSON text holds a raw line break.
  size_t low = 0;
  size_t high = text.size();
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    const size_t at = text.find(k_entry_start, middle);
    if (at == std::string_view::npos || at >= high) {
      high = middle;
      continue;
    }
    const std::string_view key = key_at(text, at);
    // The file holds keys in the order of their bytes; an escaped key's text
    // sorts elsewhere, so no bisection can trust it.
    if (key.find('\\') != std::string_view::npos) {
      usable = false;
      return std::nullopt;
    }
    if (key < id) {
      low = at + 1;
    } else if (id < key) {
      high = middle;
    } else {
      CanonicalReader in{text.substr(at)};
      std::string read_id;
      IndexedPack::Slot slot{};
      usable = read_written_entry(in, read_id, slot);  // else parse the text whole
      if (!usable) return std::nullopt;
      std::memcpy(slot.id.data(), id.data(), k_id_size);
      return slot;
    }
  }
  return std::nullopt;
}

IndexedPack::IndexedPack(std::string index_path, FileStamp stamp, uint64_t serial,
                         std::deque<IndexedPack*>& open_packs)
    : index_path_(std::move(index_path)),
      pack_path_(index_path_.substr(0, index_path_.size() - std::strlen(".idx.json")) + ".pack"),
      stamp_(stamp),
      serial_(serial),
      open_packs_(open_packs),
      text_(map_index(index_path_)) {}

IndexedPack::~IndexedPack() { close_pack(); }

std::optional<IndexedPack::Slot> IndexedPack::find(std::string_view id) {
  if (id.size() != k_id_size) return std::nullopt;
  if (!slots_) {
    bool usable = false;
    std::optional<Slot> slot = find_written_slot(text_.bytes(), id, usable);
    if (usable) return slot;
    slots_ = parse_index_slots(text_.bytes());
  }
  Slot key;
  std::memcpy(key.id.data(), id.data(), k_id_size);
  auto it = std::lower_bound(slots_->begin(), slots_->end(), key, id_less);
  if (it == slots_->end() || id_less(key, *it)) return std::nullopt;
  return *it;
}

int IndexedPack::fd() {
  if (open_tried_) return fd_.get();
  open_tried_ = true;
  fd_.reset(::open(pack_path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd_.valid()) return -1;
  struct stat st;
  if (::fstat(fd_.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    fd_.reset();
    return -1;
  }
  size_ = static_cast<uint64_t>(st.st_size);
  open_packs_.push_back(this);
  if (open_packs_.size() > k_max_open_packs) open_packs_.front()->close_pack();
  return fd_.get();
}

void IndexedPack::close_pack() {
  open_tried_ = false;
  if (!fd_.valid()) return;
  fd_.reset();
  open_packs_.erase(std::find(open_packs_.begin(), open_packs_.end(), this));
}

std::vector<IndexedPack::Slot> parse_index_slots(std::string_view text) {
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

IndexedPack* PackSet::cached_index(const std::string& path, const FileStamp& stamp) {
  std::unique_ptr<IndexedPack>& entry = indexes_[path];
  if (entry && entry->stamp() == stamp) return entry.get();
  entry = std::make_unique<IndexedPack>(path, stamp, ++last_serial_, open_);
  return entry.get();
}

// True while the last listing may stand: same directory stamp, and either
// it was quiet when read or every index still has the stamp it was read
// with (a rename over one gives it a new inode, a removal fails the stat).
bool PackSet::listing_is_current(const FileStamp& stamp) const {
  if (!listed_ || !(stamp_ == stamp)) return false;
  if (trusted_) return true;
  for (const IndexedPack* pack : packs_) {
    struct stat st;
    if (::stat(pack->index_path().c_str(), &st) != 0 || !(stamp_of(st) == pack->stamp())) {
      return false;
    }
  }
  return true;
}

void PackSet::list(bool present, const FileStamp& stamp) {
  packs_.clear();
  if (present) {
    DirHandle listing(dir_);
    std::string path;
    while (const dirent* item = listing.next()) {
      if (!is_index_name(item->d_name)) continue;
      path.assign(dir_).append("/").append(item->d_name);
      struct stat st;
      if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
      packs_.push_back(cached_index(path, stamp_of(st)));
    }
  }
  // Indexes no longer listed are forgotten, with their mappings and files.
  std::erase_if(indexes_, [&](const auto& entry) {
    return std::find(packs_.begin(), packs_.end(), entry.second.get()) == packs_.end();
  });
  listed_ = true;
  stamp_ = stamp;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  trusted_ = present && now.tv_sec - stamp.mtime.tv_sec > k_quiet_seconds;
  std::vector<uint64_t> serials;
  for (const IndexedPack* pack : packs_) serials.push_back(pack->serial());
  if (serials != serials_) {
    serials_ = std::move(serials);
    ++generation_;
  }
}

const std::vector<IndexedPack*>& PackSet::current() {
  struct stat st;
  const bool present = ::stat(dir_.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  const FileStamp stamp = present ? stamp_of(st) : FileStamp{};
  if (!present || !listing_is_current(stamp)) list(present, stamp);
  return packs_;
}

bool PackSet::relist_recent() {
  if (listed_ && trusted_) return false;
  const uint64_t before = generation_;
  struct stat st;
  const bool present = ::stat(dir_.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  list(present, present ? stamp_of(st) : FileStamp{});
  return generation_ != before;
}
