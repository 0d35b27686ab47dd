#pragma once

#include <string>
#include <vector>

#include "cli/progress.h"

// Copies the local folder `source` into `destination` and makes the copy's
// origin point back at it; throws CommandError, before anything is written,
// when the source is missing or not a folder or holds the destination. Adds
// a warning for each name of the copied configuration it drops. Prints
// nothing but the copy's progress.
void clone_local(const std::string& source, const std::string& destination,
                 const std::string& branch, Progress& progress, std::vector<std::string>& warnings);
