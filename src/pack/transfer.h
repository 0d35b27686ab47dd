#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "store/object.h"

// The transfer stream of the sync protocol: whole-object pack records
//   "F " id " " compressed-length " " raw-length "\n" stored bytes
// concatenated, with no index. A reader stops at the end of the data or at
// an empty header line.

// The stream of every id in `ids` (ascending) that has a loose file; objects
// that live only in packs are left out. Only each object's header is
// inflated, for the raw length; throws "zlib inflate failed" when a loose
// file's header cannot be read.
std::string build_transfer_pack(const std::string& root, const std::set<ObjectId>& ids);

// Stores the objects of a received stream as loose files, holding the
// repository lock; objects already present are left as they are. True when
// the whole stream was accepted; false at the first malformed record (a type
// other than "F", an id that is not 64 hexadecimal digits, a length running
// past the data), with the records before it stored. Throws the lock's error.
bool store_transfer_pack(const std::string& root, std::string_view bytes);

// One record of a transfer stream; the views point into the stream.
struct TransferRecord {
  std::string_view id;
  std::string_view stored;  // the object's stored (compressed) bytes
  uint64_t raw_size = 0;    // as announced by the sender, unchecked
};

// Every record of a stream in order, read by the rules of
// store_transfer_pack; nothing when any record is malformed. Reads only the
// framing: the payloads are neither inflated nor hashed.
std::optional<std::vector<TransferRecord>> parse_transfer_stream(std::string_view bytes);

// Appends one whole-object record to a stream.
void append_transfer_record(std::string& stream, std::string_view id, std::string_view stored,
                            uint64_t raw_size);
