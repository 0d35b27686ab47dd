#pragma once

#include <cstddef>
#include <string>

#include "cli/progress.h"

// Packs collect the loose objects of a repository into
// .orrery/packs/pack-<hex>.pack with a JSON index pack-<hex>.idx.json beside it.

// Writes every loose object of the repository at `root` into a new pack and
// its index, holding the repository lock throughout; returns the pack's name
// without extension. Loose files stay. Throws "No objects directory",
// "Cannot open pack for writing", the lock's error, or a read, inflate or
// write failure; a failed run leaves no pack file behind.
// Counts the objects and their bytes in `progress` when given one.
std::string write_pack(const std::string& root, Progress* progress = nullptr);

// Deletes, under the repository lock, the loose file of every object listed
// in the index of pack `name` and returns how many files were deleted (0 when
// the index does not exist). Throws the JSON parser's error for a damaged index.
size_t prune_packed_loose(const std::string& root, const std::string& name);
