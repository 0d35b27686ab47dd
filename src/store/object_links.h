#pragma once

#include <string_view>
#include <vector>

#include "store/object.h"

// One object another names, with the type it is named as ("commit", "tree"
// or "blob"): a promise only, to be checked when the object is read.
struct ObjectLink {
  ObjectId id;
  std::string_view type;
};

// What an object names: a commit's parents in order, then its tree; a tree's
// entries in order; nothing for a blob. Only ids of 64 lower-case
// hexadecimal digits are listed: no other id may become a path or a
// request. `damaged` tells that one was left out or the content did not
// parse (and then names nothing).
struct ObjectLinks {
  std::vector<ObjectLink> links;
  bool damaged = false;
};

ObjectLinks object_links(const Object& object);
