#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/progress.h"
#include "net/sync_protocol.h"

// Copies the local folder `source` into `destination` and makes the copy's
// origin point back at it; the failure when the source is missing or not a
// folder or holds the destination, before anything is written. Adds a
// warning for each name of the copied configuration it drops. Prints
// nothing but the copy's progress.
std::optional<SyncFailure> clone_local(const std::string& source, const std::string& destination,
                                       const std::string& branch, Progress& progress,
                                       std::vector<std::string>& warnings);
