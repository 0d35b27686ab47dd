#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "store/object.h"

// The stored (compressed) form of object `id` taken from any pack of the
// store, or nothing. Packs are tried in directory order; a damaged index or
// record makes the object read as missing, never throws. Delta objects are
// rebuilt and compressed again, so the answer reads like a loose file. Takes
// no lock. Mapped indexes, the listing of the packs and open pack files are
// kept in the store's state while it is open; an index is mapped again when
// its path, size or mtime change. Safe to call from several threads.
std::optional<std::string> find_in_packs(const ObjectStore& store, std::string_view id);

// An object as the packs hold it: the stored form of a whole record, or the
// raw form a delta chain rebuilt, which is_raw tells apart.
struct PackedObject {
  std::string bytes;
  bool is_raw = false;
};

// find_in_packs without compressing a rebuilt delta object again, for
// readers that would only inflate it.
std::optional<PackedObject> read_packed_object(const ObjectStore& store, std::string_view id);
