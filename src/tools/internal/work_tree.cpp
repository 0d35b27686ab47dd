#include "tools/internal/work_tree.h"

#include <algorithm>
#include <string_view>

#include "util/handles.h"

// The walk keeps one frame per open level instead of recursing, so a deeply
// nested tree cannot exhaust the stack. Each directory is read whole and
// sorted before anything in it is listed; entry types come from the
// directory itself, with an lstat only where the file system gives none.

namespace {

struct DirEntry {
  std::string name;
  ItemKind kind;
};

struct Frame {
  int32_t item;                      // the directory's own item, -1 for the base
  std::string path;                  // its relative path, "" for the root
  std::vector<std::string> subdirs;  // sorted; entered one after another
  size_t next = 0;
};

// The sorted entries of a directory; false when it cannot be read whole.
bool read_sorted(const std::string& full, std::vector<DirEntry>& out) {
  out.clear();
  DirHandle dir(full);
  if (!dir.valid()) return false;
  std::string entry_path;
  while (const dirent* entry = dir.next()) {
    std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    entry_path.assign(full).append("/").append(name);
    out.push_back({std::string(name), entry_kind(entry_path, entry->d_type)});
  }
  std::sort(out.begin(), out.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return true;
}

std::string join(const std::string& dir, const std::string& name) {
  return dir.empty() ? name : dir + "/" + name;
}

bool is_metadata_dir(std::string_view name) { return name == ".orrery" || name == ".git"; }

}  // namespace

std::vector<WorkItem> list_work_tree(const std::string& root, const std::string& base,
                                     const EnterTest& enter) {
  std::vector<WorkItem> items;
  std::vector<Frame> stack;
  std::vector<DirEntry> entries;
  auto open = [&](int32_t item, const std::string& path) {
    if (!read_sorted(path.empty() ? root : root + "/" + path, entries)) {
      if (item >= 0) items[static_cast<size_t>(item)].entered = false;
      return;
    }
    Frame frame{item, path, {}, 0};
    for (DirEntry& entry : entries) {
      if (entry.kind == ItemKind::directory) {
        frame.subdirs.push_back(std::move(entry.name));
      } else {
        items.push_back({join(path, entry.name), entry.kind, false, item});
      }
    }
    stack.push_back(std::move(frame));
  };
  open(-1, base);
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next == top.subdirs.size()) {
      stack.pop_back();
      continue;
    }
    const std::string& name = top.subdirs[top.next++];
    std::string path = join(top.path, name);
    const bool enters = !is_metadata_dir(name) && enter(path);
    items.push_back({path, ItemKind::directory, enters, top.item});
    if (enters) open(static_cast<int32_t>(items.size() - 1), path);
  }
  return items;
}
