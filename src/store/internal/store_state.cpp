#include "store/internal/store_state.h"

#include <unordered_map>

#include "store/repo.h"

namespace {

constexpr size_t k_raw_cache_budget = size_t{32} << 20;

// The open states by root. Holds no state alive: an entry whose state is
// gone is dropped by the next open.
std::mutex g_states_mutex;
std::unordered_map<std::string, std::weak_ptr<StoreState>> g_states;

}  // namespace

StoreState::StoreState(std::string root_dir)
    : root(std::move(root_dir)), packs(packs_directory(root)), raw_cache(k_raw_cache_budget) {}

std::shared_ptr<StoreState> open_store_state(const std::string& root) {
  std::lock_guard lock(g_states_mutex);
  std::weak_ptr<StoreState>& entry = g_states[root];
  if (std::shared_ptr<StoreState> state = entry.lock()) return state;
  std::erase_if(g_states, [](const auto& item) { return item.second.expired(); });
  auto state = std::make_shared<StoreState>(root);
  g_states[root] = state;  // the erase may have dropped `entry`
  return state;
}
