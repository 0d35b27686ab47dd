#pragma once

#include <functional>
#include <string>

#include "util/handles.h"

// What a directory walk met. A symbolic link counts as `other` whatever it
// points to: a walk neither enters nor reads through one, so nothing outside
// the working tree can be reached by it.
using WalkEntry = EntryKind;

// Answers whether to enter a directory; ignored for other entries.
using WalkVisitor = std::function<bool(const std::string& relative, WalkEntry kind)>;

// Visits everything below `base_dir`, depth first in directory enumeration
// order, a directory before its contents. `relative` is the entry's path
// relative to `root` ("/" separated); `base_relative` is `base_dir` relative
// to `root` ("" for the root itself). Returns false when a directory could
// not be opened or read; the walk stops there.
bool walk_directory(const std::string& root, const std::string& base_relative,
                    const WalkVisitor& visit);
