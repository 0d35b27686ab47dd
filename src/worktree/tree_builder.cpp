#include "worktree/tree_builder.h"

#include "store/errors.h"
#include "worktree/internal/tree_fold.h"

namespace {

PathIds path_views(const PathMap& paths) {
  PathIds views;
  views.reserve(paths.size());
  for (const auto& [path, id] : paths) {
    // A tree that checkout would refuse must not be written in the first
    // place. Loading the index refuses such names, so one that gets here came
    // from a tree already in the store.
    if (!is_safe_tree_path(path)) throw RepositoryDamaged("Unsafe path in tree: " + path);
    views.emplace_back(path, id);
  }
  return views;
}

ObjectId fold_and_write(const ObjectStore& store, const PathMap& paths, const std::string& prefix,
                        const TreeSink& sink) {
  const PathIds views = path_views(paths);
  ObjectWriteBatch batch(store);  // one lock per group of trees, not per tree
  ObjectId root = fold_trees(views, prefix, sink);
  flush_pending_objects();
  return root;
}

ObjectId write_folded(const ObjectStore& store, const std::vector<FoldEntry>& entries) {
  return write_object(store, "tree", serialize_tree(to_tree(entries)));
}

}  // namespace

ObjectId build_tree(const ObjectStore& store, const PathMap& paths, const std::string& prefix) {
  return fold_and_write(store, paths, prefix,
                        [&](const std::string&, const std::vector<FoldEntry>& entries) {
                          return write_folded(store, entries);
                        });
}

ObjectId build_tree_reusing(const ObjectStore& store, const PathMap& paths, TreeIds& ids) {
  return fold_and_write(store, paths, "",
                        [&](const std::string& dir, const std::vector<FoldEntry>& entries) {
                          auto [it, added] = ids.try_emplace(dir);
                          if (added) it->second = write_folded(store, entries);
                          return it->second;
                        });
}

ObjectId hash_tree(const PathMap& paths, TreeIds& ids) {
  std::string buffer;
  return fold_trees(path_views(paths), "",
                    [&](const std::string& dir, const std::vector<FoldEntry>& entries) {
                      return ids[dir] = hash_folded_tree(entries, buffer);
                    });
}
