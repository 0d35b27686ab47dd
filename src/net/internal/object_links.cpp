#include "net/internal/object_links.h"

#include <exception>
#include <optional>
#include <string>

#include "store/canonical_json.h"
#include "store/object_check.h"

namespace {

void add_link(ObjectLinks& out, ObjectId&& id, std::string_view type) {
  if (is_canonical_object_id(id)) {
    out.links.push_back({std::move(id), type});
  } else {
    out.damaged = true;
  }
}

// The links of a tree in the text the tree writer produces, read without
// building its entries (a fetch reads every tree of the history); nothing
// for any other shape, which the full parser then reads.
std::optional<ObjectLinks> canonical_tree_links(std::string_view text) {
  CanonicalReader in{text};
  ObjectLinks out;
  std::string hash, mode, path, type;  // reused from entry to entry
  if (!in.literal("[")) return std::nullopt;
  if (!in.maybe("]")) {
    do {
      in.literal("{\"hash\":") && in.string(hash) && in.literal(",\"mode\":") && in.string(mode) &&
          in.literal(",\"path\":") && in.string(path) && in.literal(",\"type\":") &&
          in.string(type) && in.literal("}");
      if (!in.ok) return std::nullopt;
      add_link(out, std::string(hash), type == "tree" ? "tree" : "blob");
    } while (in.maybe(","));
    in.literal("]");
  }
  if (!in.at_end()) return std::nullopt;
  return out;
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
      if (std::optional<ObjectLinks> links = canonical_tree_links(object.data)) return *links;
      for (TreeEntry& entry : parse_tree(object.data)) {
        add_link(out, std::move(entry.hash), entry.type == "tree" ? "tree" : "blob");
      }
    }
  } catch (const std::exception&) {
    out = {{}, true};  // damaged JSON names nothing
  }
  return out;
}
