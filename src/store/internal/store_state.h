#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "store/internal/pack_set.h"
#include "store/internal/raw_cache.h"

// What the store keeps for one repository while any ObjectStore of it is
// open in the process: its pack set and the objects rebuilt from deltas.
// Every ObjectStore opened on the same root string shares one, so threads
// that read the same repository share its caches; it is destroyed with the
// last of them.
struct StoreState {
  explicit StoreState(std::string root_dir);

  const std::string root;

  // Guards everything below: packed reads of one repository run one at a
  // time, those of different repositories in parallel.
  std::mutex packs_mutex;
  PackSet packs;
  RawCache raw_cache;
  uint64_t raw_cache_generation = 0;  // of the pack set the cache was filled from
  std::string read_buffer;            // reused, as fresh pages cost more than reads
};

// The state of the repository at root, shared with every ObjectStore of the
// same root still open, else a new one.
std::shared_ptr<StoreState> open_store_state(const std::string& root);
