#include "worktree/internal/tree_fold.h"

#include <algorithm>
#include <deque>

#include "store/canonical_json.h"
#include "store/codec.h"

// Paths below one directory are contiguous in byte order, so one pass with a
// stack of open directories sees each directory exactly once: a directory
// is finished (handed to the sink) as soon as the first path outside it
// arrives. No recursion, however deep the paths. Entries are views into the
// paths and into the ids the sink returned, so folding allocates little.

namespace {

struct OpenTree {
  std::string_view name;  // one component; "" for the directory the fold started at
  std::string path;       // the directory's path
  std::vector<FoldEntry> subtrees;
  std::vector<FoldEntry> files;
};

struct Fold {
  const TreeSink& sink;
  std::vector<OpenTree> stack;
  std::deque<ObjectId> subtree_ids;  // stable storage for the ids entries view
  std::vector<FoldEntry> merged;     // reused for every directory

  ObjectId finish(OpenTree& dir) {
    merged.assign(dir.subtrees.begin(), dir.subtrees.end());
    merged.insert(merged.end(), dir.files.begin(), dir.files.end());
    std::stable_sort(merged.begin(), merged.end(),
                     [](const FoldEntry& a, const FoldEntry& b) { return a.name < b.name; });
    return sink(dir.path, merged);
  }

  void close_top() {
    OpenTree dir = std::move(stack.back());
    stack.pop_back();
    subtree_ids.push_back(finish(dir));
    stack.back().subtrees.push_back({dir.name, subtree_ids.back(), true});
  }

  // Makes the stack hold exactly the starting directory and then `dirs`.
  void open_directories(const std::vector<std::string_view>& dirs) {
    size_t shared = 0;
    while (shared + 1 < stack.size() && shared < dirs.size() &&
           stack[shared + 1].name == dirs[shared]) {
      ++shared;
    }
    while (stack.size() > shared + 1) close_top();
    for (size_t i = shared; i < dirs.size(); ++i) {
      const std::string& parent = stack.back().path;
      std::string path =
          parent.empty() ? std::string(dirs[i]) : parent + "/" + std::string(dirs[i]);
      stack.push_back({dirs[i], std::move(path), {}, {}});
    }
  }
};

void split_components(std::string_view path, std::vector<std::string_view>& parts) {
  parts.clear();
  for (;;) {
    size_t slash = path.find('/');
    parts.push_back(path.substr(0, slash));
    if (slash == std::string_view::npos) return;
    path.remove_prefix(slash + 1);
  }
}

}  // namespace

ObjectId fold_trees(const PathIds& paths, const std::string& prefix, const TreeSink& sink) {
  const std::string start = prefix.empty() ? "" : prefix + "/";
  Fold fold{sink, {}, {}, {}};
  fold.stack.push_back({"", prefix, {}, {}});
  auto it =
      std::lower_bound(paths.begin(), paths.end(), std::string_view(start),
                       [](const auto& entry, std::string_view key) { return entry.first < key; });
  std::vector<std::string_view> parts;
  for (; it != paths.end() && it->first.substr(0, start.size()) == start; ++it) {
    split_components(it->first.substr(start.size()), parts);
    std::string_view name = parts.back();
    parts.pop_back();
    fold.open_directories(parts);
    fold.stack.back().files.push_back({name, it->second, false});
  }
  while (fold.stack.size() > 1) fold.close_top();
  return fold.finish(fold.stack.front());
}

Tree to_tree(const std::vector<FoldEntry>& entries) {
  Tree tree;
  tree.reserve(entries.size());
  for (const FoldEntry& e : entries) {
    tree.push_back({e.is_tree ? "40000" : "100644", e.is_tree ? "tree" : "blob", std::string(e.id),
                    std::string(e.name)});
  }
  return tree;
}

ObjectId hash_folded_tree(const std::vector<FoldEntry>& entries, std::string& buffer) {
  buffer.clear();
  buffer += '[';
  for (const FoldEntry& e : entries) {
    // Names or ids that need escaping take the JSON writer's way.
    if (!is_plain_json_string(e.name) || !is_plain_json_string(e.id)) {
      return object_hash("tree", serialize_tree(to_tree(entries)));
    }
    if (buffer.size() > 1) buffer += ',';
    buffer.append("{\"hash\":\"").append(e.id);
    buffer.append(e.is_tree ? "\",\"mode\":\"40000\",\"path\":\""
                            : "\",\"mode\":\"100644\",\"path\":\"");
    buffer.append(e.name).append(e.is_tree ? "\",\"type\":\"tree\"}" : "\",\"type\":\"blob\"}");
  }
  buffer += ']';
  return object_hash("tree", buffer);
}
