#pragma once

// Builds repository states straight through the store, for tests of commands
// that read history: blobs, nested trees, commits, references and an index
// with real stat values, as staging and committing would leave them.

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "store/fs.h"
#include "store/index.h"
#include "store/object.h"
#include "store/refs.h"
#include "store/repo.h"
#include "worktree/working_stat.h"

namespace testing_support {

// Path ("a/b.txt") to content.
using FileSet = std::map<std::string, std::string>;

// Stores the files as blobs and nested trees; returns the root tree id.
inline ObjectId store_tree(const Repository& repo, const FileSet& files) {
  // Directory path ("" for the root) to its entries; parents come first in
  // byte order, so writing the deepest directories first needs a reverse walk.
  std::map<std::string, Tree> dirs{{"", {}}};
  for (const auto& [path, content] : files) {
    std::string dir;
    size_t start = 0;
    for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', start)) {
      std::string child = path.substr(0, slash);
      if (!dirs.count(child)) dirs[child] = {};
      dir = child;
      start = slash + 1;
    }
    dirs[dir].push_back(
        {"100644", "blob", write_object(repo.objects, "blob", content), path.substr(start)});
  }
  ObjectId root;
  for (auto it = dirs.rbegin(); it != dirs.rend(); ++it) {
    std::sort(it->second.begin(), it->second.end(),
              [](const TreeEntry& a, const TreeEntry& b) { return a.path < b.path; });
    ObjectId id = write_object(repo.objects, "tree", serialize_tree(it->second));
    if (it->first.empty()) {
      root = id;
      continue;
    }
    std::string parent(path_dirname(it->first));
    dirs[parent].push_back({"40000", "tree", id, std::string(path_basename(it->first))});
  }
  return root;
}

inline ObjectId store_commit(const Repository& repo, const ObjectId& tree,
                             std::vector<ObjectId> parents, const std::string& message,
                             uint64_t timestamp = 1700000000) {
  Commit commit{tree, std::move(parents), "tester", message, timestamp};
  return write_object(repo.objects, "commit", serialize_commit(commit));
}

// Writes the files into the working tree and the index (with their stat),
// commits them as the whole snapshot on top of HEAD and moves HEAD's branch
// or the detached HEAD. Files not named are left alone in the working tree.
inline ObjectId commit_snapshot(const std::string& root, const FileSet& files,
                                const std::string& message) {
  Repository repo(root);
  Index index;
  for (const auto& [path, content] : files) {
    write_file_atomic(root + "/" + path, content);
    WorkingStat stat = stat_working_file(root + "/" + path);
    index[path] = {blob_id(content), stat.size, stat.mtime, stat.mode};
  }
  std::vector<ObjectId> parents;
  if (std::optional<ObjectId> head = head_commit(repo)) parents.push_back(*head);
  ObjectId id =
      store_commit(repo, store_tree(repo, files), parents, message, 1700000000 + parents.size());
  save_index(repo, index);
  if (std::optional<std::string> branch = head_symref(repo)) {
    update_ref(repo, *branch, id);
  } else {
    move_head(repo, id);
  }
  return id;
}

}  // namespace testing_support
