#include "worktree/internal/tree_fold.h"

#include <algorithm>

// Paths below one directory are contiguous in byte order, so one pass with a
// stack of open directories sees each directory exactly once: a directory
// is finished (handed to the sink) as soon as the first path outside it
// arrives. No recursion, however deep the paths.

namespace {

struct OpenTree {
  std::string name;  // one component; "" for the directory the fold started at
  std::string path;  // the directory's path
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

ObjectId finish(OpenTree& dir, const TreeSink& sink) {
  Tree entries = std::move(dir.subtrees);
  entries.insert(entries.end(), std::make_move_iterator(dir.files.begin()),
                 std::make_move_iterator(dir.files.end()));
  std::stable_sort(entries.begin(), entries.end(),
                   [](const TreeEntry& a, const TreeEntry& b) { return a.path < b.path; });
  return sink(dir.path, entries);
}

void close_top(std::vector<OpenTree>& stack, const TreeSink& sink) {
  OpenTree dir = std::move(stack.back());
  stack.pop_back();
  ObjectId id = finish(dir, sink);
  stack.back().subtrees.push_back({"40000", "tree", std::move(id), std::move(dir.name)});
}

// Makes the stack hold exactly the starting directory and then `dirs`.
void open_directories(std::vector<OpenTree>& stack, const std::vector<std::string_view>& dirs,
                      const TreeSink& sink) {
  size_t shared = 0;
  while (shared + 1 < stack.size() && shared < dirs.size() &&
         stack[shared + 1].name == dirs[shared]) {
    ++shared;
  }
  while (stack.size() > shared + 1) close_top(stack, sink);
  for (size_t i = shared; i < dirs.size(); ++i) {
    const std::string& parent = stack.back().path;
    std::string path = parent.empty() ? std::string(dirs[i]) : parent + "/" + std::string(dirs[i]);
    stack.push_back({std::string(dirs[i]), std::move(path), {}, {}});
  }
}

}  // namespace

ObjectId fold_trees(const PathIds& paths, const std::string& prefix, const TreeSink& sink) {
  const std::string start = prefix.empty() ? "" : prefix + "/";
  std::vector<OpenTree> stack;
  stack.push_back({"", prefix, {}, {}});
  auto it =
      std::lower_bound(paths.begin(), paths.end(), std::string_view(start),
                       [](const auto& entry, std::string_view key) { return entry.first < key; });
  for (; it != paths.end() && it->first.substr(0, start.size()) == start; ++it) {
    std::vector<std::string_view> parts = split_components(it->first.substr(start.size()));
    std::string_view name = parts.back();
    parts.pop_back();
    open_directories(stack, parts, sink);
    stack.back().files.push_back({"100644", "blob", std::string(it->second), std::string(name)});
  }
  while (stack.size() > 1) close_top(stack, sink);
  return finish(stack.front(), sink);
}
