#pragma once

#include <optional>
#include <string_view>

#include "store/object.h"

// Reads for the walks and merges that treat a damaged object like a missing
// one: nothing instead of an exception for bad compression or bad JSON.

std::optional<Commit> read_commit_quietly(const ObjectStore& store, std::string_view id);
std::optional<Tree> read_tree_quietly(const ObjectStore& store, std::string_view id);
// The content of a blob; nothing for anything else.
std::optional<std::string> read_blob_quietly(const ObjectStore& store, std::string_view id);
