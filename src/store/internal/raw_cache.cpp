#include "store/internal/raw_cache.h"

#include <iterator>

const RawCache::Entry* RawCache::find(std::string_view id) {
  auto found = by_id_.find(id);
  if (found == by_id_.end()) return nullptr;
  entries_.splice(entries_.begin(), entries_, found->second);
  return &*found->second;
}

void RawCache::insert(std::string_view id, std::string_view raw, size_t chain) {
  auto found = by_id_.find(id);
  if (found != by_id_.end()) erase(found->second);
  if (raw.size() > budget_) return;
  while (bytes_ + raw.size() > budget_) erase(std::prev(entries_.end()));
  entries_.push_front(Entry{std::string(id), std::string(raw), chain});
  by_id_.emplace(entries_.front().id, entries_.begin());
  bytes_ += raw.size();
}

void RawCache::clear() {
  by_id_.clear();
  entries_.clear();
  bytes_ = 0;
}

void RawCache::erase(EntryList::iterator it) {
  bytes_ -= it->raw.size();
  by_id_.erase(it->id);
  entries_.erase(it);
}
