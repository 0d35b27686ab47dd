#include "worktree/internal/dir_walk.h"

#include <cerrno>
#include <vector>

#include "util/handles.h"

// The walk reads entry types from the directory itself, so a clean tree
// costs no stat per entry; only file systems that give no type are looked
// up.

namespace {

struct OpenDir {
  DirHandle handle;
  size_t relative_length;  // length of the directory's relative path
};

bool is_dot_entry(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

bool walk_directory(const std::string& root, const std::string& base_relative,
                    const WalkVisitor& visit) {
  const size_t root_length = root.size() + 1;
  std::string path = root + "/" + base_relative;
  std::string relative;  // reused: one buffer for every entry's path
  std::vector<OpenDir> stack;
  DirHandle first(path);
  if (!first.valid()) return false;
  stack.push_back({std::move(first), base_relative.size()});
  while (!stack.empty()) {
    OpenDir& top = stack.back();
    path.resize(root_length + top.relative_length);
    const dirent* entry = top.handle.next();
    if (entry == nullptr) {
      if (errno != 0) return false;
      stack.pop_back();
      continue;
    }
    if (is_dot_entry(entry->d_name)) continue;
    if (top.relative_length > 0) path.push_back('/');
    path.append(entry->d_name);
    WalkEntry kind = entry_kind(path, entry->d_type);
    relative.assign(path, root_length);
    if (!visit(relative, kind) || kind != WalkEntry::directory) continue;
    DirHandle child(path);
    if (!child.valid()) return false;
    stack.push_back({std::move(child), relative.size()});
  }
  return true;
}
