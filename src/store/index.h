#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

struct Repository;

// What the next commit holds for one path, with the file's stat as it was
// when staged so an unchanged file need not be read again.
struct IndexEntry {
  std::string hash;
  uint64_t size = 0;   // all ones when the size could not be read
  uint64_t mtime = 0;  // whole seconds since 1601-01-01 UTC
  uint32_t mode = 0;   // 33188, 33261, or 0 for entries of the old format

  bool operator==(const IndexEntry&) const = default;
};

// Path (relative to the root, "/" separated) to entry, in byte order.
using Index = std::map<std::string, IndexEntry>;

// Parses .orrery/index text (either format). Throws RepositoryDamaged
// "Damaged index: <reason>" for text that is not JSON, a key that fails
// is_safe_index_path, an id that is not 64 lower-case hex digits (an empty
// one drops its entry) or a number that is not an unsigned integer of its
// field's width.
Index parse_index(std::string_view text);
// The current format: {"entries": {...}, "version": 2}, indented by two.
std::string serialize_index(const Index& index);

// An empty index when .orrery/index does not exist. Throws what parse_index
// throws, naming the file, and RepositoryDamaged when the file is not a
// regular one.
Index load_index(const Repository& repo);
// Replaces .orrery/index atomically and durably (the objects it names are
// synced first). Takes no lock: a read-modify-write of the index holds
// RepoLock from the load to the save, so that concurrent changes are not lost.
void save_index(const Repository& repo, const Index& index);
