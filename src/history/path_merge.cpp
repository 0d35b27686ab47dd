#include "history/path_merge.h"

#include <algorithm>
#include <array>
#include <map>
#include <stdexcept>

#include "diff/engine.h"
#include "history/internal/quiet_read.h"
#include "history/internal/side_walk.h"
#include "history/text_merge.h"
#include "history/worktree_files.h"
#include "store/repo.h"

// The three trees are walked together, one directory level at a time, and
// a subdirectory is entered only while its three tree ids leave the outcome
// open. Where ours and theirs hold the same subtree, or theirs still holds
// the base's, every path below gets the answer the per-path rules would give
// it one by one: ours' file, unchanged. So a merge reads ours whole (its
// files make the merged map) but the base and theirs only in directories
// whose ids differ from ours'. Where only ours kept the base's subtree the
// walk goes on down: that is where theirs' changes are, and ours' files it
// drops.

namespace {

enum Side : size_t { k_base = 0, k_ours = 1, k_theirs = 2 };

// The trees standing at one path on one side: usually none or one; more
// only where a damaged tree repeats a directory name.
using Trees = std::vector<ObjectId>;

// A directory to decide: its trees on the three sides.
struct Node {
  std::string path;  // "" for the root
  std::array<Trees, 3> trees;
  bool unsafe = false;
  size_t parent = 0;  // index into Merger::nodes; the root is its own parent
  size_t depth = 0;
};

// The entries named alike on one level of the three trees.
struct NameSlot {
  std::array<ObjectId, 3> blob;
  std::array<Trees, 3> trees;
};

constexpr size_t k_max_depth = 2048;

std::string join(const std::string& dir, std::string_view name) {
  std::string path;
  path.reserve(dir.size() + 1 + name.size());
  if (!dir.empty()) path.append(dir).push_back('/');
  path.append(name);
  return path;
}

struct Merger {
  const ObjectStore& store;
  UnsafePaths policy;
  bool ours_known = false;  // out.merged started as ours' files
  TreeMerge out;
  std::vector<Node> nodes;

  void conflict(const std::string& path) {
    out.conflicts.push_back(path);
    if (ours_known) out.merged.erase(path);
  }

  // Enters the decided blob, `ours` being what ours holds at the path.
  void put(const std::string& path, const ObjectId& blob, const ObjectId& ours, bool unsafe) {
    if (unsafe) {
      if (policy == UnsafePaths::conflict) return conflict(path);
      out.unsafe.insert(path);
    }
    out.merged[path] = blob;
    if (blob != ours) out.changed.push_back(path);
  }

  void drop(const std::string& path, bool unsafe) {
    if (ours_known) out.merged.erase(path);
    if (!unsafe) out.removed.push_back(path);
  }

  void merge_contents(const std::string& path, const std::array<ObjectId, 3>& ids, bool unsafe) {
    std::optional<std::string> ours = read_blob_quietly(store, ids[k_ours]);
    std::optional<std::string> theirs = read_blob_quietly(store, ids[k_theirs]);
    std::string base;
    if (!ids[k_base].empty()) base = read_blob_quietly(store, ids[k_base]).value_or("");
    if (!ours || !theirs || is_binary(base) || is_binary(*ours) || is_binary(*theirs)) {
      return conflict(path);
    }
    TextMergeResult merged = merge_text(base, *ours, *theirs);
    put(path, write_object(store, "blob", merged.content), ids[k_ours], unsafe);
    if (merged.conflict) {
      out.conflicts.push_back(path);  // listed, yet kept with its markers
      out.marked.push_back(path);
    }
  }

  void decide(const std::string& path, const std::array<ObjectId, 3>& ids, bool unsafe) {
    const ObjectId& b = ids[k_base];
    const ObjectId& o = ids[k_ours];
    const ObjectId& t = ids[k_theirs];
    if (o == t) {
      if (!o.empty()) put(path, o, o, unsafe);
    } else if (o == b) {
      if (!t.empty()) {
        put(path, t, o, unsafe);
      } else {
        drop(path, unsafe);
      }
    } else if (t == b) {
      if (!o.empty()) put(path, o, o, unsafe);
    } else if (o.empty() || t.empty() || (unsafe && policy == UnsafePaths::conflict)) {
      conflict(path);
    } else {
      merge_contents(path, ids, unsafe);
    }
  }

  void take_ours(const Node& node) {
    if (ours_known) return;
    for (const ObjectId& tree : node.trees[k_ours]) {
      walk_side(store, tree, node.path, node.unsafe,
                [&](const std::string& path, const ObjectId& blob, bool unsafe) {
                  put(path, blob, blob, unsafe);
                });
    }
  }

  // Every path below the node, decided one by one: for a damaged tree that
  // names one directory twice, whose files add up.
  void decide_flat(const Node& node) {
    std::array<PathMap, 3> maps;
    std::set<std::string> unsafe;
    for (size_t side = 0; side < 3; ++side) {
      for (const ObjectId& tree : node.trees[side]) {
        walk_side(store, tree, node.path, node.unsafe,
                  [&](const std::string& path, const ObjectId& blob, bool bad) {
                    maps[side][path] = blob;
                    if (bad) unsafe.insert(path);
                  });
      }
    }
    std::set<std::string> paths;
    for (const PathMap& map : maps) {
      for (const auto& entry : map) paths.insert(entry.first);
    }
    for (const std::string& path : paths) {
      std::array<ObjectId, 3> ids;
      for (size_t side = 0; side < 3; ++side) {
        auto it = maps[side].find(path);
        if (it != maps[side].end()) ids[side] = it->second;
      }
      decide(path, ids, unsafe.count(path) > 0);
    }
  }

  // True when `tree` stands on `side` of the node or of a directory above.
  bool is_open(size_t index, Side side, const ObjectId& tree) const {
    for (;;) {
      const Trees& trees = nodes[index].trees[side];
      if (std::find(trees.begin(), trees.end(), tree) != trees.end()) return true;
      if (index == 0) return false;
      index = nodes[index].parent;
    }
  }

  std::map<std::string, NameSlot> read_level(const Node& node) {
    std::map<std::string, NameSlot> names;
    std::optional<Tree> tree;
    for (size_t side = 0; side < 3; ++side) {
      if (node.trees[side].empty()) continue;
      // The base usually equals ours here: one read serves both.
      if (side == 0 || node.trees[side] != node.trees[side - 1]) {
        tree = read_tree_quietly(store, node.trees[side].front());
      }
      if (!tree) continue;
      for (const TreeEntry& entry : *tree) {
        if (entry.type == "blob") {
          names[entry.path].blob[side] = entry.hash;
        } else if (entry.type == "tree") {
          names[entry.path].trees[side].push_back(entry.hash);
        }
      }
    }
    return names;
  }

  // Decides the node's own files and returns its subdirectories to visit.
  void expand(size_t index, std::vector<size_t>& pending) {
    const Node node = nodes[index];
    for (auto& [name, slot] : read_level(node)) {
      const bool unsafe = node.unsafe || !is_safe_tree_name(name);
      std::string path = join(node.path, name);
      decide(path, slot.blob, unsafe);
      if (slot.trees[k_base].empty() && slot.trees[k_ours].empty() &&
          slot.trees[k_theirs].empty()) {
        continue;
      }
      for (Side side : {k_base, k_ours, k_theirs}) {
        for (const ObjectId& tree : slot.trees[side]) {
          if (node.depth + 1 >= k_max_depth || is_open(index, side, tree)) {
            throw std::runtime_error("Unsafe path in tree: " + name);
          }
        }
      }
      nodes.push_back({std::move(path), std::move(slot.trees), unsafe, index, node.depth + 1});
      pending.push_back(nodes.size() - 1);
    }
  }

  void visit(size_t index, std::vector<size_t>& pending) {
    const Node& node = nodes[index];
    const Trees& b = node.trees[k_base];
    const Trees& o = node.trees[k_ours];
    const Trees& t = node.trees[k_theirs];
    if (o == t || t == b) return take_ours(node);
    if (b.size() > 1 || o.size() > 1 || t.size() > 1) return decide_flat(node);
    expand(index, pending);
  }

  void run(const ObjectId& base, const ObjectId& ours, const ObjectId& theirs) {
    Node root;
    for (const auto& [side, id] :
         {std::pair{k_base, &base}, {k_ours, &ours}, {k_theirs, &theirs}}) {
      if (!id->empty()) root.trees[side].push_back(*id);
    }
    nodes.push_back(std::move(root));
    std::vector<size_t> pending{0};
    while (!pending.empty()) {
      size_t index = pending.back();
      pending.pop_back();
      visit(index, pending);
    }
    std::sort(out.conflicts.begin(), out.conflicts.end());
    out.conflicts.erase(std::unique(out.conflicts.begin(), out.conflicts.end()),
                        out.conflicts.end());
    for (auto* list : {&out.marked, &out.changed, &out.removed})
      std::sort(list->begin(), list->end());
  }
};

}  // namespace

TreeMerge merge_trees(const ObjectStore& store, const ObjectId& base_tree,
                      const ObjectId& ours_tree, const ObjectId& theirs_tree, UnsafePaths unsafe,
                      std::optional<PathMap> ours_files) {
  Merger merger{store, unsafe, ours_files.has_value(), {}, {}};
  if (ours_files) merger.out.merged = std::move(*ours_files);
  merger.run(base_tree, ours_tree, theirs_tree);
  return std::move(merger.out);
}

PathMergeOutcome merge_paths(const Repository& repo, const ObjectId& base_tree,
                             const ObjectId& ours_tree, const ObjectId& theirs_tree) {
  TreeMerge merge =
      merge_trees(repo.objects, base_tree, ours_tree, theirs_tree, UnsafePaths::conflict);
  WorkingTreeWriter writer(repo.root);
  for (const std::string& path : merge.marked) {
    std::optional<std::string> content = read_blob_quietly(repo.objects, merge.merged[path]);
    if (content) writer.write(path, *content);
  }
  return {std::move(merge.merged), std::move(merge.conflicts)};
}
