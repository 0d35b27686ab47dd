#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "store/object.h"

struct Repository;

// HEAD, a 64-digit id, a branch, a tag or remote/branch, first match wins;
// failing those, 7 to 63 lowercase hex digits name the one object, loose or
// packed, whose id starts with them. Throws AmbiguousShortId when several
// objects do.
std::optional<ObjectId> resolve_name(const Repository& repo, std::string_view name);

// NAME, NAME~N, ~N, NAME^^…, ^^…: nothing when any step fails or the
// first-parent walk meets a commit twice. Throws "Invalid reference name"
// for a NAME that would make no valid reference.
std::optional<ObjectId> resolve_revision(const Repository& repo, std::string_view revision);

std::optional<ObjectId> first_parent(const Repository& repo, std::string_view id);

// First-parent steps from `from` to `to` (0 when equal); nothing when `to`
// is not on the chain within 100000 steps.
std::optional<uint32_t> first_parent_distance(const Repository& repo, std::string_view from,
                                              std::string_view to);

// True when `ancestor` is reachable from `descendant` through any parents.
bool is_ancestor(const Repository& repo, std::string_view ancestor, std::string_view descendant);
