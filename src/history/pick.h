#pragma once

#include <optional>
#include <string>
#include <vector>

#include "store/index.h"
#include "store/object.h"
#include "store/tree_walk.h"
#include "worktree/tree_builder.h"
#include "worktree/tree_writer.h"

struct Repository;

enum class PickKind { cherry_pick, revert };

// What a command knows of the working tree and the index between the steps
// it makes, so a step reads and checks only what the step before changed.
struct WorkingState {
  KnownFiles known;              // the index as on disk, with its own mtime
  bool trusted = false;          // this process wrote the index and every file it lists
  std::optional<ObjectId> head;  // the commit `files` and `trees` belong to, when known
  PathMap files;                 // that commit's files (no path that may not be written)
  TreeIds trees;                 // its directories' trees, as this process built them
};

// The index on disk, trusted for nothing but what the stats prove.
WorkingState load_working_state(const Repository& repo);

struct PickResult {
  std::optional<ObjectId> commit;      // the new commit, when there was no conflict
  std::vector<std::string> conflicts;  // ascending
  bool success = false;                // false when K is no commit or cannot be reverted
  PathMap files;                       // the new commit's files
  std::vector<std::string> changed;    // paths whose blob is not HEAD's; ascending
  std::vector<std::string> removed;    // HEAD's paths the pick dropped; ascending
  std::vector<std::string> written;    // the working files the pick wrote; ascending
  bool writable = true;                // no path of `files` is one that may not be written
};

// "cherry-pick <first 8 digits of K>: <K's message>", or "revert …".
std::string pick_message(PickKind kind, const ObjectId& picked, const std::string& message);

// Applies the change commit K made against its first parent (revert: the
// inverse) to HEAD's tree, path by path as merge_trees decides, and writes
// the merged files into the working tree: on conflicts all of them (markers
// included, files the index proves equal left alone), else those that
// differ from HEAD's, deleting the files the merge drops, and then the tree
// and a new commit on HEAD's commit. Moves no reference. Paths that may not
// be written stay in the tree but are neither written nor deleted.
PickResult pick_commit(const Repository& repo, const ObjectId& picked, PickKind kind,
                       WorkingState& state);

// After the branch moved to the pick's commit: what checking the branch out
// and rewriting the index from its tree with each file's stat would do,
// without reading again what `state` and the pick already know. Checkout
// itself runs where the tree holds a path that may not be written. Moves
// the pick's files into `state`; answers checkout's line. Throws
// CommandError for what checkout refuses or a blob that is missing.
std::string check_out_pick(const Repository& repo, const std::string& branch, PickResult& pick,
                           WorkingState& state);
