#include "history/internal/stash_show.h"

#include <ostream>

#include "cli/command_error.h"
#include "diff/changes.h"
#include "diff/patch.h"
#include "history/stash.h"
#include "store/repo.h"

namespace {

constexpr std::string_view k_no_changes =
    "Нет изменений в stash по сравнению с родительским коммитом.\n";

// The entry's tree (new) and its first parent's (old), or nothing when the
// entry has no readable parent commit.
struct ShowSides {
  PathMap old_files, new_files;
};

std::optional<ShowSides> read_sides(const Repository& repo, const StashEntry& entry) {
  if (entry.commit.parents.empty()) return std::nullopt;
  std::optional<Commit> parent = read_commit_if_intact(repo.objects, entry.commit.parents[0]);
  if (!parent) return std::nullopt;
  ShowSides sides;
  flatten_tree(repo.objects, parent->tree, "", sides.old_files);
  flatten_tree(repo.objects, entry.commit.tree, "", sides.new_files);
  return sides;
}

// Calls compare(path, old id, new id) for every changed or added path in
// order (old id "" when added), then for every deleted path (new id "").
template <typename Compare>
void for_each_difference(const ShowSides& sides, Compare compare) {
  for (const auto& [path, id] : sides.new_files) {
    auto old = sides.old_files.find(path);
    if (old == sides.old_files.end()) {
      compare(path, std::string(), id);
    } else if (old->second != id) {
      compare(path, old->second, id);
    }
  }
  for (const auto& [path, id] : sides.old_files) {
    if (!sides.new_files.count(path)) compare(path, id, std::string());
  }
}

std::string bytes_of(const Repository& repo, const std::string& id) {
  return id.empty() ? std::string() : blob_bytes(repo.objects, id);
}

void print_sides(const Repository& repo, const ShowSides& sides, StashShowFormat format,
                 std::ostream& out) {
  const bool patch = format == StashShowFormat::patch;
  const bool stat = format == StashShowFormat::stat;
  const bool shortstat = format == StashShowFormat::shortstat;
  bool changed = false;
  std::vector<FileStat> stats;
  for_each_difference(sides, [&](const std::string& path, const std::string& old_id,
                                 const std::string& new_id) {
    if (patch) {
      print_file_patch(out, path, bytes_of(repo, old_id), bytes_of(repo, new_id), changed);
    } else if (stat || shortstat) {
      std::optional<FileStat> one = file_stat(path, bytes_of(repo, old_id), bytes_of(repo, new_id));
      if (one) stats.push_back(std::move(*one));
    } else {
      changed = true;
      out << path << (old_id.empty() ? " (новый)\n" : new_id.empty() ? " (удалён)\n" : "\n");
    }
  });
  if (patch) {
    if (!changed) out << "Нет отличий-патча.\n";
  } else if (stats.empty() && (stat || shortstat)) {
    out << k_no_changes;
  } else if (stat) {
    print_stat(out, stats);
  } else if (shortstat) {
    print_shortstat(out, stats);
  } else if (!changed) {
    out << k_no_changes;
  }
}

}  // namespace

void show_stash(const Repository& repo, const StashEntry& entry, StashShowFormat format,
                std::ostream& out) {
  std::optional<ShowSides> sides = read_sides(repo, entry);
  if (!sides) throw CommandError("родитель stash не найден или не коммит", "");
  print_sides(repo, *sides, format, out);
}
