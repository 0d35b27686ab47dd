#include "history/internal/side_walk.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "history/internal/quiet_read.h"
#include "store/tree_walk.h"

namespace {

constexpr size_t k_max_depth = 2048;

struct Frame {
  ObjectId id;
  Tree entries;
  size_t next = 0;
  std::string path;
  bool unsafe = false;
};

std::string join(const std::string& dir, const std::string& name) {
  return dir.empty() ? name : dir + "/" + name;
}

}  // namespace

void walk_side(
    const ObjectStore& store, const ObjectId& tree, const std::string& prefix, bool unsafe,
    const std::function<void(const std::string& path, const ObjectId& blob, bool unsafe)>& visit) {
  std::optional<Tree> root = read_tree_quietly(store, tree);
  if (!root) return;
  std::vector<Frame> stack;
  stack.push_back({tree, std::move(*root), 0, prefix, unsafe});
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next == frame.entries.size()) {
      stack.pop_back();
      continue;
    }
    const TreeEntry& entry = frame.entries[frame.next++];
    const bool bad = frame.unsafe || !is_safe_tree_name(entry.path);
    std::string path = join(frame.path, entry.path);
    if (entry.type == "blob") {
      visit(path, entry.hash, bad);
      continue;
    }
    if (entry.type != "tree") continue;
    const bool cycle = std::any_of(stack.begin(), stack.end(),
                                   [&](const Frame& open) { return open.id == entry.hash; });
    if (cycle || stack.size() >= k_max_depth) {
      throw std::runtime_error("Unsafe path in tree: " + entry.path);
    }
    std::optional<Tree> child = read_tree_quietly(store, entry.hash);
    if (!child) continue;
    ObjectId id = entry.hash;
    stack.push_back({std::move(id), std::move(*child), 0, std::move(path), bad});
  }
}
