#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/object.h"

// The hub's integrity gate for uploaded objects. The client stores what it
// receives without checking it, so nothing may be kept here that is not
// exactly what its id promises.

// Another object an object names, with the type the naming promises.
struct ObjectLink {
  ObjectId id;
  std::string_view type;  // "blob", "tree" or "commit"
};

struct CheckedObject {
  std::string type;
  std::vector<ObjectLink> links;  // a commit's tree and parents; a tree's entries
};

// Checks stored objects (zlib streams of "<type> <size>\0<content>"). One
// checker reuses its inflate state, digest and buffers across objects.
class ObjectChecker {
 public:
  // `max_raw_size` caps the inflated size of one object.
  explicit ObjectChecker(size_t max_raw_size);
  ~ObjectChecker();
  ObjectChecker(const ObjectChecker&) = delete;
  ObjectChecker& operator=(const ObjectChecker&) = delete;

  // The object's type and links when `stored` is one complete zlib stream
  // whose inflated bytes have a header of a known type word, a space, the
  // decimal length of the content and a NUL, hash to `id`, and (for a tree or
  // commit) parse with well-formed ids. Otherwise nothing, with `problem`
  // saying why in English.
  std::optional<CheckedObject> check(std::string_view id, std::string_view stored,
                                     std::string& problem);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// One whole-object record of a transfer stream.
struct TransferRecord {
  std::string_view id;
  size_t raw_size = 0;  // as the record header declares it
  std::string_view stored;
};

// The records of a transfer stream, in order; nothing when any record is not
// "F <id> <compressed-length> <raw-length>\n" followed by that many bytes.
// The stream ends at the end of the data or at an empty line.
std::optional<std::vector<TransferRecord>> split_transfer_stream(std::string_view bytes);
