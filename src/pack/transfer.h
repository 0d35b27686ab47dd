#pragma once

#include <set>
#include <string>
#include <string_view>

#include "store/object.h"

// The transfer stream of the sync protocol: whole-object pack records
//   "F " id " " compressed-length " " raw-length "\n" stored bytes
// concatenated, with no index. A reader stops at the end of the data or at
// an empty header line.

// The stream of every id in `ids` (ascending) that has a loose file; objects
// that live only in packs are left out. Throws "zlib inflate failed" for a
// damaged loose file.
std::string build_transfer_pack(const std::string& root, const std::set<ObjectId>& ids);

// Stores the objects of a received stream as loose files, holding the
// repository lock; objects already present are left as they are. True when
// the whole stream was accepted; false at the first malformed record (a type
// other than "F", an id that is not 64 hexadecimal digits, a length running
// past the data), with the records before it stored. Throws the lock's error.
bool store_transfer_pack(const std::string& root, std::string_view bytes);
