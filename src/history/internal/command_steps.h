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

// Checkout's line for switching to the branch ("refs/heads/…").
std::string switched_line(const std::string& ref);

// Writes "  конфликт: <path>" lines to standard error.
void print_conflict_lines(const std::vector<std::string>& paths);

// Checks the branch out as checkout does and answers checkout's line.
// Throws CommandError with checkout's refusal.
std::string check_out_branch(const Repository& repo, const std::string& ref);

// check_out_branch, then replaces the index with the commit's files and
// their working stats.
std::string check_out_and_index(const Repository& repo, const std::string& ref,
                                const PathMap& files);

// Makes the working tree and the index the commit's, as reset --hard does
// without moving HEAD. Throws CommandError with reset's refusal.
void hard_reset_to(const Repository& repo, const ObjectId& commit);

// After a hard reset: every index entry holding the blob `before` held for
// its path gets back the stat `before` recorded, so an abort leaves the
// index as it found it. (The reset wrote those blobs' contents, so the old
// stat can only make the next scan read a file again, never miss a change.)
void keep_index_stats(const Repository& repo, const Index& before);
