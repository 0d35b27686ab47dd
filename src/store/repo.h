#pragma once

#include <string>
#include <string_view>

#include "store/lock.h"
#include "store/object.h"

// An opened repository: the working-tree root (as given, not canonicalised)
// and its object store. Constructing one creates .orrery/objects if missing.
struct Repository {
  explicit Repository(std::string root_dir);

  std::string root;
  ObjectStore objects;
};

// root + "/.orrery/" + relative: the path of a metadata file.
std::string orrery_path(const std::string& root, std::string_view relative);
inline std::string orrery_path(const Repository& repo, std::string_view relative) {
  return orrery_path(repo.root, relative);
}

// .orrery/packs under root: pack-<hex>.pack files with their indexes
// pack-<hex>.idx.json.
std::string packs_directory(const std::string& root);

// The nearest directory at or above `start` holding a .orrery entry; `start`
// itself when there is none.
std::string find_repo_root(const std::string& start);

// True when root/.orrery and root/.orrery/HEAD both exist.
bool is_initialized(const std::string& root);

// Creates the initial layout (refs, logs, version, HEAD) under the lock.
void create_repository(const Repository& repo);

// Deletes, under the lock, what interrupted writes left in .orrery
// ("<name>.tmp.<digits>" files and directories) once it is older than an
// hour, so that no live writer loses its temporary file. Returns how many
// were deleted.
size_t remove_stale_temp_files(const std::string& root);
