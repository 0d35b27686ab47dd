#include "worktree/tree_builder.h"

#include <algorithm>
#include <string_view>
#include <vector>

// Paths below one directory are contiguous in the map's byte order, so one
// pass over the map with a stack of open directories sees each directory
// exactly once: a directory is finished (its tree written) as soon as the
// first path outside it arrives. No recursion, however deep the paths.

namespace {

struct OpenTree {
  std::string name;  // one component; "" for the directory the build started at
  Tree subtrees;
  Tree files;
};

std::vector<std::string_view> split_components(std::string_view path) {
  std::vector<std::string_view> parts;
  for (;;) {
    size_t slash = path.find('/');
    parts.push_back(path.substr(0, slash));
    if (slash == std::string_view::npos) return parts;
    path.remove_prefix(slash + 1);
  }
}

ObjectId write_tree(const ObjectStore& store, OpenTree& dir) {
  Tree entries = std::move(dir.subtrees);
  entries.insert(entries.end(), std::make_move_iterator(dir.files.begin()),
                 std::make_move_iterator(dir.files.end()));
  std::stable_sort(entries.begin(), entries.end(),
                   [](const TreeEntry& a, const TreeEntry& b) { return a.path < b.path; });
  return write_object(store, "tree", serialize_tree(entries));
}

void close_top(const ObjectStore& store, std::vector<OpenTree>& stack) {
  OpenTree dir = std::move(stack.back());
  stack.pop_back();
  ObjectId id = write_tree(store, dir);
  stack.back().subtrees.push_back({"40000", "tree", std::move(id), std::move(dir.name)});
}

// Makes the stack hold exactly the starting directory and then `dirs`.
void open_directories(const ObjectStore& store, std::vector<OpenTree>& stack,
                      const std::vector<std::string_view>& dirs) {
  size_t shared = 0;
  while (shared + 1 < stack.size() && shared < dirs.size() &&
         stack[shared + 1].name == dirs[shared]) {
    ++shared;
  }
  while (stack.size() > shared + 1) close_top(store, stack);
  for (size_t i = shared; i < dirs.size(); ++i) stack.push_back({std::string(dirs[i]), {}, {}});
}

}  // namespace

ObjectId build_tree(const ObjectStore& store, const PathMap& paths, const std::string& prefix) {
  ObjectWriteBatch batch(store);  // one lock per group of trees, not per tree
  const std::string start = prefix.empty() ? "" : prefix + "/";
  std::vector<OpenTree> stack(1);
  for (auto it = paths.lower_bound(start); it != paths.end(); ++it) {
    const std::string& path = it->first;
    if (path.compare(0, start.size(), start) != 0) break;
    std::vector<std::string_view> parts =
        split_components(std::string_view(path).substr(start.size()));
    std::string_view name = parts.back();
    parts.pop_back();
    open_directories(store, stack, parts);
    stack.back().files.push_back({"100644", "blob", it->second, std::string(name)});
  }
  while (stack.size() > 1) close_top(store, stack);
  ObjectId root = write_tree(store, stack.front());
  flush_pending_objects();
  return root;
}
