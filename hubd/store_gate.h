#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "store/object.h"

// Every call of the hub into the store library goes through these few
// functions (and the pull request merge). Any thread may call them at any
// time: the store keeps its state per repository and per thread.
//
// `root` is a repository's root as repo_root gives it. Ids passed in are
// canonical (64 lower-case hexadecimal digits); callers check them first.

// DATA/repos/<id>.orrery: the root a repository's store lives in. Only the
// numeric id becomes part of the path, never a name from a request.
std::string repo_root(const std::string& data_dir, int64_t repo_id);

// True when the store layout at root is complete.
bool has_store(const std::string& root);

// Creates the store layout at root unless it is there already.
void ensure_store(const std::string& root);

// Removes the lock directories a killed hub left behind in the repositories
// of data_dir; returns how many. Only sound while no other process serves
// the same data directory.
int clear_stale_locks(const std::string& data_dir);

// Removes the lock directory of one repository, if any. Only sound while
// the caller knows that no live process holds it.
void clear_stale_lock(const std::string& root);

// The commit a branch names, or nothing when it has none.
std::optional<ObjectId> read_branch(const std::string& root, std::string_view branch);

std::optional<std::string> read_stored_object(const std::string& root, std::string_view id);

// The ids of `ids` the repository does not hold.
std::set<ObjectId> missing_objects(const std::string& root, const std::set<ObjectId>& ids);

// Stores checked bytes under their id (an existing object is left alone).
// Takes no repository lock: an object file is written under a temporary
// name and renamed, so writers of the same object, in this process or
// another, can only replace it with equal bytes.
void store_object(const std::string& root, std::string_view id, std::string_view stored);

// The transfer stream of every object reachable from `wants` that the
// repository holds, not descending into any id in `haves`.
std::string pack_of_closure(const std::string& root, const std::set<ObjectId>& wants,
                            const std::set<ObjectId>& haves);

// True when the commit and everything it reaches are in the repository.
// `known_complete`, when given, is a commit whose history is known to be
// there (a branch's current head), where the walk may stop.
bool holds_history(const std::string& root, const ObjectId& commit,
                   const std::optional<ObjectId>& known_complete = std::nullopt);

// True when `ancestor` is `descendant` or one of its ancestors.
bool reaches(const std::string& root, const ObjectId& descendant, const ObjectId& ancestor);

enum class BranchUpdate {
  updated,
  incomplete_history,  // the commit or an object below it is missing
  stale,               // the branch does not hold the expected old value
  name_conflict,       // a branch "a" blocks "a/b", or the other way round
};

// Moves a branch to a commit whose whole history the repository holds, only
// while the branch still names `expected_old` when that is given (an absent
// branch never matches), and writes a reflog line for the move.
BranchUpdate update_branch(const std::string& root, std::string_view branch, const ObjectId& id,
                           const std::optional<ObjectId>& expected_old);
