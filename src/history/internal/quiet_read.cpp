#include "history/internal/quiet_read.h"

#include <exception>

std::optional<Commit> read_commit_quietly(const ObjectStore& store, std::string_view id) {
  try {
    return read_commit(store, id);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<Tree> read_tree_quietly(const ObjectStore& store, std::string_view id) {
  try {
    return read_tree(store, id);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<std::string> read_blob_quietly(const ObjectStore& store, std::string_view id) {
  try {
    std::optional<Object> object = read_object(store, id);
    if (!object || object->type != "blob") return std::nullopt;
    return std::move(object->data);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}
