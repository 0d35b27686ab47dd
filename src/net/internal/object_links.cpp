#include "net/internal/object_links.h"

#include <exception>

#include "store/object_check.h"

namespace {

void add_link(ObjectLinks& out, const ObjectId& id, std::string_view type) {
  if (is_canonical_object_id(id)) {
    out.links.push_back({id, type});
  } else {
    out.damaged = true;
  }
}

}  // namespace

ObjectLinks object_links(const Object& object) {
  ObjectLinks out;
  try {
    if (object.type == "commit") {
      Commit commit = parse_commit(object.data);
      for (const ObjectId& parent : commit.parents) add_link(out, parent, "commit");
      add_link(out, commit.tree, "tree");
    } else if (object.type == "tree") {
      for (const TreeEntry& entry : parse_tree(object.data)) {
        add_link(out, entry.hash, entry.type == "tree" ? "tree" : "blob");
      }
    }
  } catch (const std::exception&) {
    out = {{}, true};  // damaged JSON names nothing
  }
  return out;
}
