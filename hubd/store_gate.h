#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "store/object.h"

// Every call of the hub into the store library goes through these few
// functions, and they run one at a time behind one process-wide mutex: the
// store keeps process-wide state (a pending object batch, caches, codec
// contexts) and is not safe to call from several threads at once. When the
// store becomes per-repository and thread-safe, the mutex goes and nothing
// else has to change.
//
// `root` is a repository's root as repo_root gives it. Ids passed in are
// canonical (64 lower-case hexadecimal digits); callers check them first.

// DATA/repos/<id>.orrery: the root a repository's store lives in. Only the
// numeric id becomes part of the path, never a name from a request.
std::string repo_root(const std::string& data_dir, int64_t repo_id);

// Creates the store layout at root unless it is there already.
void ensure_store(const std::string& root);

// Removes the lock directories a killed hub left behind in the repositories
// of data_dir; returns how many. Only sound while no other process serves
// the same data directory.
int clear_stale_locks(const std::string& data_dir);

// The commit a branch names, or nothing when it has none.
std::optional<ObjectId> read_branch(const std::string& root, std::string_view branch);

std::optional<std::string> read_stored_object(const std::string& root, std::string_view id);

// The ids of `ids` the repository does not hold.
std::set<ObjectId> missing_objects(const std::string& root, const std::set<ObjectId>& ids);

// Stores checked bytes under their id (an existing object is left alone).
void store_object(const std::string& root, std::string_view id, std::string_view stored);

// Stores a checked transfer stream; false when the store refused its framing.
bool store_pack(const std::string& root, std::string_view stream);

// The transfer stream of every object reachable from `wants` that the
// repository holds, not descending into any id in `haves`.
std::string pack_of_closure(const std::string& root, const std::set<ObjectId>& wants,
                            const std::set<ObjectId>& haves);

// True when the commit and everything it reaches are in the repository.
bool holds_history(const std::string& root, const ObjectId& commit);

// True when `ancestor` is `descendant` or one of its ancestors.
bool reaches(const std::string& root, const ObjectId& descendant, const ObjectId& ancestor);

// Runs `work` with the store to itself, for a task that makes many store
// calls in one go (a pull request's merge). `work` must not call the other
// functions of this header.
void with_store(const std::function<void()>& work);

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
