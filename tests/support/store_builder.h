#pragma once

// Builds repository states straight through the store API, for tests of
// commands that only read history.

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "store/object.h"

namespace testing_support {

struct FileSpec {
  std::string content;
  std::string mode = "100644";
};

// Writes the blobs and nested trees of path -> file ("/"-separated paths)
// and returns the root tree id.
inline ObjectId write_files_tree(const ObjectStore& store,
                                 const std::map<std::string, FileSpec>& files) {
  std::map<std::string, std::map<std::string, FileSpec>> subdirs;
  Tree tree;
  for (const auto& [path, file] : files) {
    size_t slash = path.find('/');
    if (slash == std::string::npos) {
      tree.push_back({file.mode, "blob", write_object(store, "blob", file.content), path});
    } else {
      subdirs[path.substr(0, slash)][path.substr(slash + 1)] = file;
    }
  }
  for (const auto& [name, sub] : subdirs) {
    tree.push_back({"40000", "tree", write_files_tree(store, sub), name});
  }
  std::sort(tree.begin(), tree.end(),
            [](const TreeEntry& a, const TreeEntry& b) { return a.path < b.path; });
  return write_object(store, "tree", serialize_tree(tree));
}

// Writes a tree holding exactly these entries, unsorted and unchecked.
inline ObjectId write_raw_tree(const ObjectStore& store, const Tree& entries) {
  return write_object(store, "tree", serialize_tree(entries));
}

inline ObjectId write_test_commit(const ObjectStore& store, const ObjectId& tree,
                                  const std::vector<ObjectId>& parents = {},
                                  uint64_t timestamp = 1700000000,
                                  const std::string& message = "m") {
  Commit commit;
  commit.tree = tree;
  commit.parents = parents;
  commit.author = "tester";
  commit.message = message;
  commit.timestamp = timestamp;
  return write_object(store, "commit", serialize_commit(commit));
}

}  // namespace testing_support
