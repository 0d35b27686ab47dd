#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "hubd/store_gate.h"
#include "hubd/web.h"

// Where the branch heads of hub repositories live, and how one repository's
// store is worked on alone. With SQLite (one process) the heads are the
// store's ref files; with PostgreSQL, where several processes share the
// repository directory, they are rows of the refs table and every guarded
// update is a compare-and-swap in the database. Objects stay files in the
// shared directory either way.

// The repository's root, creating its store first when it is missing.
std::string open_hub_store(const HubContext& hub, int64_t repo_id);

// The commit a branch names, or nothing when it has none.
std::optional<ObjectId> read_hub_branch(const HubContext& hub, int64_t repo_id,
                                        std::string_view branch);

// Moves a branch as update_branch does (the whole history must be in the
// repository; only while the branch names `expected_old` when that is
// given; "a" and "a/b" cannot both exist), logging the move in the same
// step.
BranchUpdate move_hub_branch(const HubContext& hub, int64_t repo_id, std::string_view branch,
                             const ObjectId& id, const std::optional<ObjectId>& expected_old);

// The log of a repository's branch moves, one "<old> <new>\t<message>\n"
// line each, oldest first.
std::string read_hub_reflog(const HubContext& hub, int64_t repo_id);

// With PostgreSQL, runs `work` while no other thread or hub process works
// on the store of that repository through this function, after removing a
// lock directory a killed process left there (every thread of a hub on
// PostgreSQL that takes a repository lock does so inside this function).
// With SQLite, runs it at once: objects are immutable, and the store's own
// lock serialises the writes that need it. `work` must not use the
// database.
void with_repo_alone(const HubContext& hub, int64_t repo_id, const std::function<void()>& work);
