#include "hubd/object_check.h"

#include <stdexcept>

#include "hubd/sync_path.h"
#include "store/object_check.h"

// The store's checker inflates and hashes the object as it goes, keeping
// only tree and commit contents, to be parsed here. The size the header
// declares is checked against the cap before anything beyond the header is
// inflated, and inflating stops the moment the content outgrows it, so a
// small upload cannot make the hub inflate a huge one.

namespace {

bool is_entry_name(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

std::optional<std::vector<ObjectLink>> tree_links(std::string_view content) {
  std::vector<ObjectLink> links;
  for (const TreeEntry& entry : parse_tree(content)) {
    if ((entry.type != "blob" && entry.type != "tree") || !is_canonical_object_id(entry.hash) ||
        !is_entry_name(entry.path)) {
      return std::nullopt;
    }
    links.push_back({entry.hash, entry.type == "tree" ? "tree" : "blob"});
  }
  return links;
}

std::optional<std::vector<ObjectLink>> commit_links(std::string_view content) {
  Commit commit = parse_commit(content);
  if (!is_canonical_object_id(commit.tree)) return std::nullopt;
  std::vector<ObjectLink> links{{commit.tree, "tree"}};
  for (const ObjectId& parent : commit.parents) {
    if (!is_canonical_object_id(parent)) return std::nullopt;
    links.push_back({parent, "commit"});
  }
  return links;
}

}  // namespace

std::optional<CheckedObject> ObjectChecker::check(std::string_view id, std::string_view stored,
                                                  std::string& problem) const {
  std::optional<Object> object = check_stored_object(id, stored, max_raw_size_, problem);
  if (!object) return std::nullopt;
  CheckedObject checked{object->type, {}};
  if (object->type == "blob") return checked;
  try {
    std::optional<std::vector<ObjectLink>> links =
        object->type == "tree" ? tree_links(object->data) : commit_links(object->data);
    if (!links) {
      problem = object->type + " names a malformed id or entry";
      return std::nullopt;
    }
    checked.links = std::move(*links);
  } catch (const std::exception&) {
    problem = object->type + " is not valid JSON of its kind";
    return std::nullopt;
  }
  return checked;
}
