#include "worktree/tree_writer.h"

#include <sys/stat.h>

#include <algorithm>
#include <stdexcept>

#include "store/errors.h"
#include "store/fs.h"
#include "store/lock.h"
#include "store/repo.h"
#include "store/tree_walk.h"
#include "worktree/working_stat.h"

// Writing a tree happens in two passes: the first walks the whole tree and
// refuses anything hostile (names, depth, cycles, a symbolic link where a
// directory goes), the second writes. A refused tree therefore changes
// nothing, inside the working tree or outside it.

namespace {

[[noreturn]] void invalid_tree(std::string_view id) {
  throw std::runtime_error("Invalid tree object: " + std::string(id));
}

bool is_tree_object(const ObjectStore& store, std::string_view id) {
  std::optional<Object> object = read_object(store, id);
  return object && object->type == "tree";
}

}  // namespace

// An entry staged in the same second the index was written could have
// changed unseen within that second, so it proves nothing.
bool is_known_equal(const KnownFiles& known, const std::string& path, const std::string& full,
                    const ObjectId& id) {
  auto entry = known.index.find(path);
  if (entry == known.index.end() || entry->second.hash != id) return false;
  if (entry->second.mtime >= known.index_mtime) return false;
  WorkingStat now = stat_working_file(full);
  return now.mode != 0 && now.size == entry->second.size && now.mtime == entry->second.mtime &&
         now.mode == entry->second.mode;
}

TreeFiles plan_tree_files(const ObjectStore& store, std::string_view tree_id,
                          const std::string& directory) {
  if (!is_tree_object(store, tree_id)) invalid_tree(tree_id);
  TreeFiles plan;
  // walk_tree passes over a subtree it cannot read. One that showed any
  // entry was read; only one that showed none needs a second look.
  const auto check_previous_directory = [&](std::string_view next_path) {
    if (plan.empty() || !plan.back().is_directory) return;
    const std::string& dir = plan.back().path;
    bool has_children = next_path.size() > dir.size() && next_path[dir.size()] == '/' &&
                        next_path.substr(0, dir.size()) == dir;
    if (!has_children && !is_tree_object(store, plan.back().id)) invalid_tree(plan.back().id);
  };
  walk_tree(store, tree_id, [&](const std::string& path, const TreeEntry& entry) {
    if (entry.type != "blob" && entry.type != "tree") return;
    check_previous_directory(path);
    if (entry.type == "tree" && is_symbolic_link(directory + "/" + path)) {
      throw std::runtime_error("Refusing to write through a symbolic link: " + path);
    }
    plan.push_back({path, entry.hash, entry.type == "tree"});
  });
  check_previous_directory({});
  return plan;
}

namespace {

// The stat of a regular file at `full`, never following a symbolic link:
// a link where a file goes is replaced, whatever it points at.
std::optional<WorkingStat> regular_file_stat(const std::string& full) {
  struct stat st;
  if (::lstat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return working_stat_of(st);
}

// True when the file already holds blob `id`, which the index names for its
// path: by the stat alone when it proves it, else by reading the bytes when
// the stat can neither prove nor rule it out (none recorded, or recorded in
// the index's own second). `read` tells which. A file whose stat differs
// from the recorded one was changed since: rewriting it costs no more than
// reading it would.
bool holds_indexed_blob(const KnownFiles& known, const TreeFile& item, const std::string& full,
                        const WorkingStat& now, std::string& buffer, bool& read) {
  auto entry = known.index.find(item.path);
  if (entry == known.index.end() || entry->second.hash != item.id) return false;
  const IndexEntry& staged = entry->second;
  if (staged.size != 0 || staged.mtime != 0) {
    if (now != WorkingStat{staged.size, staged.mtime, staged.mode}) return false;
    if (staged.mtime < known.index_mtime) return true;
  }
  read = true;
  return read_file_into(full, buffer) && blob_id(buffer) == item.id;
}

}  // namespace

void write_planned_files(const ObjectStore& store, const std::string& directory,
                         const TreeFiles& plan, const KnownFiles* known, WrittenFiles* written) {
  std::string full;
  std::string buffer;
  for (const TreeFile& item : plan) {
    full.assign(directory).append("/").append(item.path);
    if (item.is_directory) {
      ensure_directory(full);
      continue;
    }
    std::optional<WorkingStat> now = known ? regular_file_stat(full) : std::nullopt;
    bool read = false;
    const bool kept = now && holds_indexed_blob(*known, item, full, *now, buffer, read);
    if (!kept) {
      std::optional<Object> blob = read_object(store, item.id);
      if (!blob || blob->type != "blob") throw std::runtime_error("Missing blob " + item.id);
      write_file_atomic(full, blob->data);
      if (written) now = regular_file_stat(full);
    }
    if (!written) continue;
    // Only a read that kept the file is one a better stat would spare.
    written->read_any = written->read_any || (read && kept);
    const WorkingStat stat = now.value_or(WorkingStat{});
    written->files.emplace_hint(written->files.end(), item.path,
                                IndexEntry{item.id, stat.size, stat.mtime, stat.mode});
  }
}

void write_tree_files(const ObjectStore& store, std::string_view tree_id,
                      const std::string& directory) {
  write_planned_files(store, directory, plan_tree_files(store, tree_id, directory));
}

KnownFiles load_known_files(const Repository& repo) {
  KnownFiles known;
  const std::string path = orrery_path(repo, "index");
  known.index_mtime = stat_working_file(path).mtime;
  if (known.index_mtime == 0) return known;
  try {
    known.index = load_index(repo);
  } catch (const std::exception&) {
    // An unreadable index only means no file is known: every one is written.
    known.index.clear();
  }
  return known;
}

namespace {

// The written file's entry when it names the blob `entry` names with a stat
// the entry does not record yet, else null.
const IndexEntry* fresher_entry(const WrittenFiles& written, const std::string& path,
                                const IndexEntry& entry) {
  auto file = written.files.find(path);
  if (file == written.files.end() || file->second.hash != entry.hash) return nullptr;
  if (file->second.mode == 0 || file->second == entry) return nullptr;
  return &file->second;
}

// Copies the stats of written files into the entries naming the same blob;
// true when any entry changed.
bool apply_written_stats(const WrittenFiles& written, Index& index) {
  bool changed = false;
  for (auto& [path, entry] : index) {
    if (const IndexEntry* fresh = fresher_entry(written, path, entry)) {
      entry = *fresh;
      changed = true;
    }
  }
  return changed;
}

}  // namespace

void refresh_index_stats(const Repository& repo, const KnownFiles& known,
                         const WrittenFiles& written) {
  if (known.index.empty()) return;
  const bool news = std::any_of(known.index.begin(), known.index.end(), [&](const auto& item) {
    return fresher_entry(written, item.first, item.second) != nullptr;
  });
  if (!news && !written.read_any) return;
  std::optional<RepoLock> lock;
  try {
    lock.emplace(repo.root);
  } catch (const RepositoryLocked&) {
    return;  // the stats are a cache: another command may refresh them
  }
  Index index = load_index(repo);
  if (apply_written_stats(written, index) || (written.read_any && !index.empty())) {
    save_index(repo, index);
  }
}
