#pragma once

// Builds repository states for end-to-end tests straight through the store:
// blobs, trees, commits, the index and branch references, so a test can set
// up exactly the history it needs.

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "store/index.h"
#include "store/object.h"
#include "store/refs.h"
#include "store/repo.h"

namespace testing_support {

// Path ("/" separated) to file content.
using Files = std::map<std::string, std::string>;

// Replaces the index with entries for the files, writing their blobs.
inline void stage_files(const std::string& root, const Files& files) {
  Repository repo(root);
  Index index;
  for (const auto& [path, content] : files) {
    index[path].hash = write_object(repo.objects, "blob", content);
    index[path].size = content.size();
  }
  save_index(repo, index);
}

// Writes the blobs and the nested trees of the files; returns the root tree.
// Directories are written deepest first, so each finds its subtrees written.
inline ObjectId write_file_tree(const Repository& repo, const Files& files) {
  std::map<std::string, Tree> dirs{{"", {}}};
  for (const auto& [path, content] : files) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash);
    dirs[dir].push_back(
        {"100644", "blob", write_object(repo.objects, "blob", content), path.substr(slash + 1)});
    for (size_t at = dir.find('/'); at != std::string::npos; at = dir.find('/', at + 1)) {
      dirs[dir.substr(0, at)];
    }
  }
  std::vector<std::string> order;
  for (const auto& [dir, tree] : dirs) order.push_back(dir);
  std::sort(order.begin(), order.end(), [](const std::string& a, const std::string& b) {
    return std::count(a.begin(), a.end(), '/') + !a.empty() >
           std::count(b.begin(), b.end(), '/') + !b.empty();
  });
  ObjectId root_tree;
  for (const std::string& dir : order) {
    Tree& tree = dirs[dir];
    std::sort(tree.begin(), tree.end(),
              [](const TreeEntry& a, const TreeEntry& b) { return a.path < b.path; });
    const ObjectId id = write_object(repo.objects, "tree", serialize_tree(tree));
    if (dir.empty()) {
      root_tree = id;
      continue;
    }
    const size_t slash = dir.rfind('/');
    const std::string parent = slash == std::string::npos ? "" : dir.substr(0, slash);
    dirs[parent].push_back({"40000", "tree", id, dir.substr(slash + 1)});
  }
  return root_tree;
}

// Writes a commit of the files by "tester" and points refs/heads/<branch>
// at it.
inline ObjectId commit_files(const std::string& root, const Files& files,
                             const std::vector<ObjectId>& parents = {},
                             const std::string& message = "снимок", uint64_t timestamp = 1700000000,
                             const std::string& branch = "main") {
  Repository repo(root);
  Commit commit{write_file_tree(repo, files), parents, "tester", message, timestamp};
  const ObjectId id = write_object(repo.objects, "commit", serialize_commit(commit));
  update_ref(repo, "refs/heads/" + branch, id);
  return id;
}

// The id a blob with this content gets.
inline ObjectId blob_of(const std::string& content) { return blob_id(content); }

}  // namespace testing_support
