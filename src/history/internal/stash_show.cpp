#include "history/internal/stash_show.h"

#include <ostream>

#include "diff/changes.h"
#include "diff/patch.h"
#include "history/stash.h"
#include "store/repo.h"

namespace {

constexpr std::string_view k_usage =
    "orrery stash show [-p|--patch|--stat|--shortstat] [stash@{N}]";
constexpr std::string_view k_no_changes =
    "Нет изменений в stash по сравнению с родительским коммитом.\n";

struct ShowOptions {
  bool patch = false;
  bool stat = false;
  bool shortstat = false;
  std::optional<std::string> selector;
};

std::optional<ShowOptions> parse_show_args(const Args& rest) {
  ShowOptions opts;
  for (const std::string& arg : rest) {
    if (arg == "-p" || arg == "--patch") {
      opts.patch = true;
    } else if (arg == "--stat") {
      opts.stat = true;
    } else if (arg == "--shortstat") {
      opts.shortstat = true;
    } else if (arg.empty() || arg.front() == '-') {
      print_error("неизвестная опция stash show: " + arg, k_usage);
      return std::nullopt;
    } else if (opts.selector) {
      print_error("лишний аргумент stash show", k_usage);
      return std::nullopt;
    } else {
      opts.selector = arg;
    }
  }
  if (opts.stat && opts.shortstat) {
    print_error("нельзя сочетать --stat и --shortstat",
                "orrery stash show [--stat|--shortstat] [stash@{N}]");
    return std::nullopt;
  }
  if (opts.patch && (opts.stat || opts.shortstat)) {
    print_error("нельзя сочетать -p|--patch со --stat|--shortstat",
                "выбери один вид вывода: orrery stash show …");
    return std::nullopt;
  }
  return opts;
}

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

void print_sides(const Repository& repo, const ShowSides& sides, const ShowOptions& opts) {
  std::ostream& out = out_stream();
  bool changed = false;
  std::vector<FileStat> stats;
  for_each_difference(
      sides, [&](const std::string& path, const std::string& old_id, const std::string& new_id) {
        if (opts.patch) {
          print_file_patch(out, path, bytes_of(repo, old_id), bytes_of(repo, new_id), changed);
        } else if (opts.stat || opts.shortstat) {
          std::optional<FileStat> stat =
              file_stat(path, bytes_of(repo, old_id), bytes_of(repo, new_id));
          if (stat) stats.push_back(std::move(*stat));
        } else {
          changed = true;
          out << path << (old_id.empty() ? " (новый)\n" : new_id.empty() ? " (удалён)\n" : "\n");
        }
      });
  if (opts.patch) {
    if (!changed) out << "Нет отличий-патча.\n";
  } else if (stats.empty() && (opts.stat || opts.shortstat)) {
    out << k_no_changes;
  } else if (opts.stat) {
    print_stat(out, stats);
  } else if (opts.shortstat) {
    print_shortstat(out, stats);
  } else if (!changed) {
    out << k_no_changes;
  }
}

}  // namespace

int show_stash(const Repository& repo, const Args& rest) {
  std::optional<ShowOptions> opts = parse_show_args(rest);
  if (!opts) return 1;
  std::optional<uint32_t> n = opts->selector ? parse_stash_selector(*opts->selector) : 0;
  if (!n) {
    print_error("ожидался формат stash@{N}", "например: stash@{1}");
    return 1;
  }
  const std::vector<StashEntry> chain = read_stash_chain(repo);
  if (!has_stash_entry_or_report(repo, chain, *n)) return 1;
  std::optional<ShowSides> sides = read_sides(repo, chain[*n]);
  if (!sides) {
    print_error("родитель stash не найден или не коммит");
    return 1;
  }
  print_sides(repo, *sides, *opts);
  return 0;
}
