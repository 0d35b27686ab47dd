#include "store/tree_walk.h"

#include <stdexcept>
#include <unordered_set>
#include <vector>

#include "store/fs.h"

namespace {

constexpr size_t k_max_tree_depth = 2048;

bool equals_ignoring_case(std::string_view name, std::string_view lower) {
  if (name.size() != lower.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower[i]) return false;
  }
  return true;
}

[[noreturn]] void refuse(std::string_view name) {
  throw std::runtime_error("Unsafe path in tree: " + std::string(name));
}

// One tree being walked: its entries and how far through them we are.
struct Frame {
  ObjectId id;
  Tree entries;
  size_t next = 0;
  std::string path;  // the directory's full path, "" for the root
};

}  // namespace

bool is_safe_tree_name(std::string_view name) {
  // For a single component, is_safe_relpath reduces to these tests; one pass
  // over the bytes matters when a status checks ten thousand names.
  if (name.empty() || name == "." || name == "..") return false;
  const bool letter = (name[0] >= 'a' && name[0] <= 'z') || (name[0] >= 'A' && name[0] <= 'Z');
  if (name.size() >= 2 && letter && name[1] == ':') return false;
  for (char c : name) {
    if (c == '/' || c == '\\' || c == '\0') return false;
  }
  return !equals_ignoring_case(name, ".orrery") && !equals_ignoring_case(name, ".git");
}

bool is_safe_tree_path(std::string_view path) {
  size_t start = 0;
  for (;;) {
    size_t end = path.find('/', start);
    if (!is_safe_tree_name(path.substr(start, end - start))) return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

bool is_safe_index_path(std::string_view path) {
  if (!is_safe_relpath(path) || path.find('\0') != std::string_view::npos) return false;
  size_t start = 0;
  for (;;) {
    size_t end = path.find('/', start);
    std::string_view component = path.substr(start, end - start);
    if (component.empty() || component == ".") return false;
    if (start == 0 &&
        (equals_ignoring_case(component, ".orrery") || equals_ignoring_case(component, ".git"))) {
      return false;
    }
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

void walk_tree(const ObjectStore& store, std::string_view tree_id,
               const std::function<void(const std::string& path, const TreeEntry& entry)>& visit) {
  walk_tree_selective(store, tree_id, [&](const std::string& path, const TreeEntry& entry) {
    visit(path, entry);
    return true;
  });
}

void walk_tree_selective(
    const ObjectStore& store, std::string_view tree_id,
    const std::function<bool(const std::string& path, const TreeEntry& entry)>& visit) {
  std::optional<Tree> root = read_tree(store, tree_id);
  if (!root) return;
  std::vector<Frame> stack;
  // Ids of the trees on the current path: a tree met again below itself
  // would make the walk endless.
  std::unordered_set<ObjectId> open_trees{std::string(tree_id)};
  stack.push_back({std::string(tree_id), std::move(*root), 0, ""});
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next == frame.entries.size()) {
      open_trees.erase(frame.id);
      stack.pop_back();
      continue;
    }
    const TreeEntry& entry = frame.entries[frame.next++];
    if (!is_safe_tree_name(entry.path)) refuse(entry.path);
    std::string path = frame.path.empty() ? entry.path : frame.path + "/" + entry.path;
    if (!visit(path, entry) || entry.type != "tree") continue;
    if (stack.size() >= k_max_tree_depth || open_trees.count(entry.hash)) refuse(entry.path);
    std::optional<Tree> child = read_tree(store, entry.hash);
    if (!child) continue;
    open_trees.insert(entry.hash);
    stack.push_back({entry.hash, std::move(*child), 0, std::move(path)});
  }
}

void flatten_tree(const ObjectStore& store, std::string_view tree_id, const std::string& prefix,
                  PathMap& out) {
  walk_tree(store, tree_id, [&](const std::string& path, const TreeEntry& entry) {
    if (entry.type != "blob") return;
    // The walk yields paths nearly in byte order, so the end is almost always
    // the right place: insertion costs no search.
    auto it = out.emplace_hint(out.end(), prefix.empty() ? path : prefix + "/" + path, entry.hash);
    it->second = entry.hash;
  });
}
