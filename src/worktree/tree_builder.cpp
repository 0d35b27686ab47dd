#include "worktree/tree_builder.h"

#include <stdexcept>

#include "worktree/internal/tree_fold.h"

ObjectId build_tree(const ObjectStore& store, const PathMap& paths, const std::string& prefix) {
  PathIds views;
  views.reserve(paths.size());
  for (const auto& [path, id] : paths) {
    // A tree that checkout would refuse must not be written in the first place.
    if (!is_safe_tree_path(path)) {
      throw std::runtime_error("Refusing to write an unsafe path into a tree: " + path);
    }
    views.emplace_back(path, id);
  }
  ObjectWriteBatch batch(store);  // one lock per group of trees, not per tree
  ObjectId root =
      fold_trees(views, prefix, [&](const std::string&, const std::vector<FoldEntry>& entries) {
        return write_object(store, "tree", serialize_tree(to_tree(entries)));
      });
  flush_pending_objects();
  return root;
}
