#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "store/object.h"

// The largest content an object received from elsewhere may announce.
inline constexpr uint64_t k_max_object_size = uint64_t{4} << 30;

// Checks bytes that arrived from outside as the stored form of `id`: one
// zlib stream and nothing after it, inflating to "<type> <size>\0<content>"
// with type blob, tree or commit, size at most max_size, exactly size
// content bytes, and SHA-256 equal to id (64 lower-case hexadecimal digits).
// Inflation stops at the first byte beyond what the header announced, so
// damage costs neither time nor memory. Returns the type and, for trees and
// commits, the content (a blob's content is not kept); nothing when any check
// fails. Never throws for bad bytes.
std::optional<Object> check_stored_object(std::string_view id, std::string_view stored,
                                          uint64_t max_size = k_max_object_size);
// The same, with the reason for a refusal in English in `problem`.
std::optional<Object> check_stored_object(std::string_view id, std::string_view stored,
                                          uint64_t max_size, std::string& problem);

// The object when it has the given type; one of another type is inflated only
// up to its header, so a walk over trees never inflates a large blob. Nothing
// when the object is missing, damaged or of another type.
std::optional<Object> read_object_of_type(const ObjectStore& store, std::string_view id,
                                          std::string_view type);

// The length of the canonical bytes a stored object inflates to, read from
// its header alone. Throws "zlib inflate failed" when no header can be read.
uint64_t canonical_size(std::string_view stored);

// True for 64 lower-case hexadecimal digits: the only form an id from
// outside may have before it becomes a path or a request.
bool is_canonical_object_id(std::string_view text);
