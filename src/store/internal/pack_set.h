#pragma once

#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "util/handles.h"

// The packs of one repository as a reader sees them: each index mapped once
// and searched where it is needed, its pack file opened on first use. One
// PackSet keeps at most k_max_open_packs pack files open and closes the least
// recently opened one beyond that. Not thread-safe: its owner serialises
// calls.

struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec mtime{};

  bool operator==(const FileStamp& other) const;
};

class IndexedPack {
 public:
  struct Slot {
    std::array<char, 64> id;
    uint64_t offset;
    uint64_t length;  // payload bytes the index promises, 0 when it says nothing; a hint only
  };

  // Maps the index at index_path (an unreadable one has no entries).
  // `open_packs` is the owner's list of packs with an open file.
  IndexedPack(std::string index_path, FileStamp stamp, uint64_t serial,
              std::deque<IndexedPack*>& open_packs);
  ~IndexedPack();
  IndexedPack(const IndexedPack&) = delete;
  IndexedPack& operator=(const IndexedPack&) = delete;

  const std::string& index_path() const { return index_path_; }
  const FileStamp& stamp() const { return stamp_; }
  // Unique within its PackSet, unlike the object's address.
  uint64_t serial() const { return serial_; }

  // The index's entry for id (64 characters), or nothing.
  std::optional<Slot> find(std::string_view id);

  // The open pack file, or -1 when it cannot be opened; size() is its length.
  int fd();
  uint64_t size() const { return size_; }

  void close_pack();

 private:
  std::string index_path_;
  std::string pack_path_;
  FileStamp stamp_;
  uint64_t serial_;
  std::deque<IndexedPack*>& open_packs_;
  MappedFile text_;                         // the mapped index
  std::optional<std::vector<Slot>> slots_;  // the whole table, once the text needed it
  bool open_tried_ = false;
  UniqueFd fd_;
  uint64_t size_ = 0;
};

constexpr size_t k_max_open_packs = 64;

// The lookup-ready members of an index text: 64-character keys whose entry
// holds an unsigned "offset", sorted, with the length of the payload taken
// from "compressed" or "suffix". Anything that is not a JSON object yields
// none.
std::vector<IndexedPack::Slot> parse_index_slots(std::string_view text);

// The entry for id in an index text laid out as the pack writer writes it
// (indented by two, ids in ascending order), found by bisecting the text
// without reading the rest. Nothing, with `usable` false, when the text has
// another layout or the entry another shape; parse_index_slots then decides.
// An out-of-order text in the writer's layout is damaged: lookups in it may
// miss.
std::optional<IndexedPack::Slot> find_written_slot(std::string_view text, std::string_view id,
                                                   bool& usable);

class PackSet {
 public:
  explicit PackSet(std::string packs_dir) : dir_(std::move(packs_dir)) {}
  PackSet(const PackSet&) = delete;
  PackSet& operator=(const PackSet&) = delete;

  // The packs, in the order the directory lists their indexes. The listing
  // is reused while the directory is unchanged and either was already quiet
  // when it was read or still holds the very index files it listed; an index
  // is mapped again only when its path, size, mtime or inode change. Never
  // throws for damaged files.
  const std::vector<IndexedPack*>& current();

  // Lists the packs again unless the last listing was taken from a quiet
  // directory, which current() may reuse without seeing a pack added within
  // the same tick of the file clock. For readers that found nothing: true
  // when the packs changed.
  bool relist_recent();

  // Changes whenever current() answers with a different set of indexes than
  // before, so that anything derived from them can be dropped.
  uint64_t generation() const { return generation_; }

 private:
  bool listing_is_current(const FileStamp& stamp) const;
  void list(bool present, const FileStamp& stamp);
  IndexedPack* cached_index(const std::string& path, const FileStamp& stamp);

  std::string dir_;
  // Declared before the indexes: closing a pack on destruction edits it.
  std::deque<IndexedPack*> open_;  // packs with an open file, least recently opened first
  std::unordered_map<std::string, std::unique_ptr<IndexedPack>> indexes_;  // by index path
  std::vector<IndexedPack*> packs_;
  FileStamp stamp_;
  bool listed_ = false;
  bool trusted_ = false;
  std::vector<uint64_t> serials_;  // of packs_, to tell a new set from the old
  uint64_t generation_ = 0;
  uint64_t last_serial_ = 0;
};
