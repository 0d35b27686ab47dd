#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/object.h"
#include "store/object_links.h"

// The hub's integrity gate for uploaded objects. The client stores what it
// receives without checking it, so nothing may be kept here that is not
// exactly what its id promises.

struct CheckedObject {
  std::string type;
  std::vector<ObjectLink> links;  // a commit's tree and parents; a tree's entries
};

// Checks stored objects (zlib streams of "<type> <size>\0<content>") with
// the store's checker, and what trees and commits name.
class ObjectChecker {
 public:
  // `max_raw_size` caps the inflated size of one object.
  explicit ObjectChecker(size_t max_raw_size) : max_raw_size_(max_raw_size) {}

  // The object's type and links when `stored` is one complete zlib stream
  // whose inflated bytes have a header of a known type word, a space, the
  // decimal length of the content and a NUL, hash to `id`, and (for a tree or
  // commit) parse with well-formed ids. Otherwise nothing, with `problem`
  // saying why in English.
  std::optional<CheckedObject> check(std::string_view id, std::string_view stored,
                                     std::string& problem) const;

 private:
  size_t max_raw_size_;
};
