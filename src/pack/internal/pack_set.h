#pragma once

#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The packs of a repository as a reader sees them: each index parsed once per
// process into a sorted table of (id, offset), and its pack file opened on
// first use. A process keeps at most k_max_open_packs pack files open and
// closes the least recently opened one beyond that.

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

  // `slots` must be sorted by id.
  IndexedPack(std::string index_path, FileStamp stamp, std::vector<Slot> slots);
  ~IndexedPack();
  IndexedPack(const IndexedPack&) = delete;
  IndexedPack& operator=(const IndexedPack&) = delete;

  const std::string& index_path() const { return index_path_; }
  const FileStamp& stamp() const { return stamp_; }
  // Unique for the life of the process, unlike the object's address.
  uint64_t serial() const { return serial_; }

  // The index's entry for id (64 characters), or null.
  const Slot* find(std::string_view id) const;

  // The open pack file, or -1 when it cannot be opened; size() is its length.
  int fd();
  uint64_t size() const { return size_; }

  void close_pack();

 private:
  std::string index_path_;
  std::string pack_path_;
  FileStamp stamp_;
  uint64_t serial_;
  std::vector<Slot> slots_;
  bool open_tried_ = false;
  int fd_ = -1;
  uint64_t size_ = 0;
};

constexpr size_t k_max_open_packs = 64;

// The lookup-ready members of an index text: 64-character keys whose entry
// holds an unsigned "offset", sorted, with the length of the payload taken
// from "compressed" or "suffix". Anything that is not a JSON object yields
// none.
std::vector<IndexedPack::Slot> parse_index_slots(std::string_view text);

// The packs of the repository at root, in the order the directory lists
// their indexes. The listing is reused while the directory is unchanged and
// either was already quiet when it was read or still holds the very index
// files it listed; an index is parsed again only when its path, size, mtime
// or inode change. Never throws for damaged files.
const std::vector<IndexedPack*>& current_packs(const std::string& root);

// Lists the packs of root again unless the last listing was taken from a
// quiet directory, which current_packs may reuse without seeing a pack
// added within the same tick of the file clock. For readers that found
// nothing: true when the packs changed.
bool relist_recent_packs(const std::string& root);

// Changes whenever current_packs answers with a different set of indexes
// than before, so that anything derived from them can be dropped.
uint64_t pack_set_generation();
