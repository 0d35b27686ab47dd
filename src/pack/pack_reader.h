#pragma once

#include <optional>
#include <string>
#include <string_view>

// The stored (compressed) form of object `id` taken from any pack of the
// repository at `root`, or nothing. Packs are tried in directory order; a
// damaged index or record makes the object read as missing, never throws.
// Delta objects are rebuilt and compressed again, so the answer reads like a
// loose file. Takes no lock. Parsed indexes, the listing of the packs and
// open pack files are kept for the life of the process; an index is parsed
// again when its path, size or mtime change.
std::optional<std::string> find_in_packs(const std::string& root, std::string_view id);
