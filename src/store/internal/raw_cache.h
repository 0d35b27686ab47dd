#pragma once

#include <cstddef>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>

// The canonical bytes of recently rebuilt delta objects, least recently used
// dropped first once their total size passes the budget. Without it, reading
// every member of a chain of n deltas walks the chain n times.
class RawCache {
 public:
  struct Entry {
    std::string id;
    std::string raw;
    size_t chain;  // delta records the object was rebuilt from
  };

  explicit RawCache(size_t budget_bytes) : budget_(budget_bytes) {}

  // The entry for id, or null; a hit counts as a use.
  const Entry* find(std::string_view id);

  // Stores a copy of raw under id (replacing an older entry), unless raw
  // alone is larger than the budget.
  void insert(std::string_view id, std::string_view raw, size_t chain);

  void clear();
  size_t size_in_bytes() const { return bytes_; }

 private:
  using EntryList = std::list<Entry>;

  void erase(EntryList::iterator it);

  size_t budget_;
  size_t bytes_ = 0;
  EntryList entries_;                                                // most recently used first
  std::unordered_map<std::string_view, EntryList::iterator> by_id_;  // views into entries_
};
