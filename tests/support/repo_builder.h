#pragma once

// Builds repository states straight through the store, for tests that need
// an exact history or hand-made (even hostile) trees: blobs, nested trees,
// commits, references and an index.

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
#include "support/test_support.h"
#include "worktree/working_stat.h"

namespace testing_support {

// Path ("a/b.txt") to content.
using FileSet = std::map<std::string, std::string>;
// Path to a tree mode other than "100644".
using ModeSet = std::map<std::string, std::string>;

// Stores the files as blobs and nested, sorted trees; returns the root tree.
inline ObjectId store_tree(const ObjectStore& store, const FileSet& files,
                           const ModeSet& modes = {}) {
  // Directory path ("" for the root) to its entries. Parents sort before
  // their children, so a reverse walk writes every subtree before its parent.
  std::map<std::string, Tree> dirs{{"", {}}};
  for (const auto& [path, content] : files) {
    size_t start = 0;
    std::string dir;
    for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', start)) {
      dir = path.substr(0, slash);
      dirs[dir];
      start = slash + 1;
    }
    auto mode = modes.find(path);
    dirs[dir].push_back({mode == modes.end() ? "100644" : mode->second, "blob",
                         write_object(store, "blob", content), path.substr(start)});
  }
  ObjectId root;
  for (auto it = dirs.rbegin(); it != dirs.rend(); ++it) {
    std::sort(it->second.begin(), it->second.end(),
              [](const TreeEntry& a, const TreeEntry& b) { return a.path < b.path; });
    ObjectId id = write_object(store, "tree", serialize_tree(it->second));
    if (it->first.empty()) {
      root = id;
    } else {
      dirs[std::string(path_dirname(it->first))].push_back(
          {"40000", "tree", id, std::string(path_basename(it->first))});
    }
  }
  return root;
}

// Stores a tree of exactly these entries, unsorted and unchecked.
inline ObjectId store_raw_tree(const ObjectStore& store, const Tree& entries) {
  return write_object(store, "tree", serialize_tree(entries));
}

inline ObjectId store_commit(const ObjectStore& store, const ObjectId& tree,
                             std::vector<ObjectId> parents = {}, const std::string& message = "m",
                             uint64_t timestamp = 1700000000) {
  Commit commit{tree, std::move(parents), "tester", message, timestamp};
  return write_object(store, "commit", serialize_commit(commit));
}

// Replaces the index with entries for the files (blob and size only, so the
// scan reads every file), writing their blobs.
inline void stage_files(const std::string& root, const FileSet& files) {
  Repository repo(root);
  Index index;
  for (const auto& [path, content] : files) {
    index[path] = {write_object(repo.objects, "blob", content), content.size(), 0, 0};
  }
  save_index(repo, index);
}

// Commits the files as a root commit (or on the given parents) and points
// refs/heads/<branch> at it.
inline ObjectId commit_files(const std::string& root, const FileSet& files,
                             const std::vector<ObjectId>& parents = {},
                             const std::string& message = "снимок", uint64_t timestamp = 1700000000,
                             const std::string& branch = "main") {
  Repository repo(root);
  const ObjectId id =
      store_commit(repo.objects, store_tree(repo.objects, files), parents, message, timestamp);
  update_ref(repo, "refs/heads/" + branch, id);
  return id;
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
  ObjectId id = store_commit(repo.objects, store_tree(repo.objects, files), parents, message,
                             1700000000 + parents.size());
  save_index(repo, index);
  if (std::optional<std::string> branch = head_symref(repo)) {
    update_ref(repo, *branch, id);
  } else {
    move_head(repo, id);
  }
  return id;
}

// The id refs/heads/<branch> holds, or "" without one.
inline std::string branch_tip(const std::string& root, const std::string& branch = "main") {
  return read_ref(root, "refs/heads/" + branch).value_or("");
}

// An initialised repository whose history the tests build through the store.
class HistoryTest : public OrreryTest {
 protected:
  void SetUp() override { init_repo(); }

  ObjectId commit(const FileSet& files, const std::string& message) {
    return commit_snapshot(dir.path(), files, message);
  }
  std::string meta(const std::string& relative) { return read_text(dir / (".orrery/" + relative)); }
  bool has_meta(const std::string& relative) { return path_exists(dir / (".orrery/" + relative)); }
  // One line of .orrery/logs/HEAD.
  static std::string line(const std::string& old_id, const std::string& new_id,
                          const std::string& message) {
    return old_id + " " + new_id + "\t" + message + "\n";
  }
  static std::string zero() { return std::string(64, '0'); }
};

}  // namespace testing_support
