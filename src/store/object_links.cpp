#include "store/object_links.h"

#include <exception>
#include <string>

#include "store/object_check.h"

namespace {

void add_link(ObjectLinks& out, ObjectId&& id, std::string_view type) {
  if (is_canonical_object_id(id)) {
    out.links.push_back({std::move(id), type});
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
      for (ObjectId& parent : commit.parents) add_link(out, std::move(parent), "commit");
      add_link(out, std::move(commit.tree), "tree");
    } else if (object.type == "tree") {
      for (TreeEntry& entry : parse_tree(object.data)) {
        add_link(out, std::move(entry.hash), entry.type == "tree" ? "tree" : "blob");
      }
    }
  } catch (const std::exception&) {
    out = {{}, true};  // damaged JSON names nothing
  }
  return out;
}
