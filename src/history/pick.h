#pragma once

#include <optional>
#include <string>
#include <vector>

#include "store/object.h"
#include "store/tree_walk.h"

struct Repository;

enum class PickKind { cherry_pick, revert };

struct PickResult {
  std::optional<ObjectId> commit;      // the new commit, when there was no conflict
  std::vector<std::string> conflicts;  // ascending
  bool success = false;                // false when K is no commit or cannot be reverted
  PathMap files;                       // the new commit's files
};

// "cherry-pick <first 8 digits of K>: <K's message>", or "revert …".
std::string pick_message(PickKind kind, const ObjectId& picked, const std::string& message);

// Applies the change commit K made against its first parent (revert: the
// inverse) to HEAD's tree, path by path as merge_trees decides: writes the
// merged files into the working tree (markers included), and without
// conflicts deletes the files the merge drops and writes the tree and a new
// commit on HEAD's commit. Moves no reference. Paths that may not be written
// stay in the tree but are neither written nor deleted.
PickResult pick_commit(const Repository& repo, const ObjectId& picked, PickKind kind);
