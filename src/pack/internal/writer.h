#pragma once

#include <cstddef>
#include <string>

#include "cli/progress.h"

// write_pack with another cap on the number of delta records in one chain,
// so that the cap can be exercised without ten thousand objects.
std::string write_pack_with_chain_limit(const std::string& root, size_t max_chain,
                                        Progress* progress = nullptr);
