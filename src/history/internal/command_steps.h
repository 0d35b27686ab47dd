#pragma once

#include <optional>
#include <string>
#include <vector>

#include "store/index.h"
#include "store/object.h"
#include "store/tree_walk.h"

struct Repository;

// Steps the history commands share.

// The branch HEAD names ("refs/heads/…"), or nothing for a detached or
// missing HEAD or a name that is not a safe path.
std::optional<std::string> current_branch(const Repository& repo);

// "main" for "refs/heads/main".
std::string short_branch_name(const std::string& ref);

// The root tree of a commit, when the commit reads as one and its tree as a
// tree.
std::optional<ObjectId> readable_commit_tree(const ObjectStore& store, const ObjectId& commit);

// Writes checkout's line for switching to the branch ("refs/heads/…").
void print_switched(const std::string& ref);

// Writes "  конфликт: <path>" lines to standard error.
void print_conflict_lines(const std::vector<std::string>& paths);

// Runs checkout of the branch, then replaces the index with the commit's
// files and their working stats. Returns checkout's exit code.
int check_out_and_index(const Repository& repo, const std::string& ref, const PathMap& files);

// After a hard reset: every index entry holding the blob `before` held for
// its path gets back the stat `before` recorded, so an abort leaves the
// index as it found it. (The reset wrote those blobs' contents, so the old
// stat can only make the next scan read a file again, never miss a change.)
void keep_index_stats(const Repository& repo, const Index& before);
