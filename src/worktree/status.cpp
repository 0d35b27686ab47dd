#include "worktree/status.h"

#include <algorithm>
#include <optional>
#include <ostream>
#include <set>

#include "cli/help.h"
#include "cli/open_repo.h"
#include "cli/progress.h"
#include "store/ignore.h"
#include "store/index.h"
#include "store/refs.h"
#include "store/repo.h"
#include "worktree/branch_header.h"
#include "worktree/scan.h"

namespace {

constexpr std::string_view k_usage = "orrery [--quiet|-q] status [-s|--short] [-b|--branch]";

struct StatusOptions {
  bool short_format = false;
  bool branch = false;
};

// Applies one "-xyz" cluster; false after reporting an unknown letter.
bool apply_cluster(const std::string& arg, StatusOptions& opts) {
  for (char letter : std::string_view(arg).substr(1)) {
    if (letter == 's') {
      opts.short_format = true;
    } else if (letter == 'b') {
      opts.branch = true;
    } else {
      print_error("неизвестный флаг status: -" + std::string(1, letter), k_usage);
      return false;
    }
  }
  return true;
}

std::optional<StatusOptions> parse_status_args(const Args& args) {
  StatusOptions opts;
  for (const std::string& arg : args) {
    if (arg.empty()) continue;
    if (arg == "-s" || arg == "--short") {
      opts.short_format = true;
    } else if (arg == "-b" || arg == "--branch") {
      opts.branch = true;
    } else if (arg.size() >= 2 && arg[0] == '-' && arg[1] != '-') {
      if (!apply_cluster(arg, opts)) return std::nullopt;
    } else {
      print_error("неизвестный аргумент для status: " + arg, k_usage);
      return std::nullopt;
    }
  }
  return opts;
}

void print_entries(std::ostream& out, const std::vector<std::string>& modified,
                   const std::vector<std::string>& deleted,
                   const std::vector<std::pair<std::string, std::string>>& renamed) {
  for (const std::string& path : modified)
    out << "  " << yellow("(modified)") << " " << path << "\n";
  for (const std::string& path : deleted) out << "  " << red("(deleted)") << " " << path << "\n";
  for (const auto& [from, to] : renamed) {
    out << "  " << cyan("(renamed)") << " " << from << " -> " << to << "\n";
  }
}

void print_long_report(std::ostream& out, const WorktreeStatus& status) {
  if (!status.staged_new.empty() || !status.staged_modified.empty() ||
      !status.staged_deleted.empty() || !status.staged_renamed.empty()) {
    out << bold("Изменения, готовые к коммиту:") << "\n";
    for (const std::string& path : status.staged_new) {
      out << "  " << green("(new)") << " " << path << "\n";
    }
    print_entries(out, status.staged_modified, status.staged_deleted, status.staged_renamed);
  }
  if (!status.unstaged_modified.empty() || !status.unstaged_deleted.empty() ||
      !status.unstaged_renamed.empty()) {
    out << bold("Есть незакоммиченные изменения:") << "\n";
    print_entries(out, status.unstaged_modified, status.unstaged_deleted, status.unstaged_renamed);
  }
  if (!status.untracked.empty()) {
    out << bold("Неотслеживаемые файлы:") << "\n";
    for (const std::string& path : status.untracked) out << "  " << cyan(path) << "\n";
  }
  if (!is_dirty(status)) out << green("Нечего коммитить, рабочее дерево чисто") << "\n";
}

using KeyedLine = std::pair<std::string, std::string>;  // (sort key, line)

std::vector<KeyedLine> build_short_lines(const WorktreeStatus& status) {
  const std::set<std::string> modified(status.unstaged_modified.begin(),
                                       status.unstaged_modified.end());
  const std::set<std::string> deleted(status.unstaged_deleted.begin(),
                                      status.unstaged_deleted.end());
  const auto worktree_letter = [&](const std::string& path) {
    return modified.count(path) ? "M" : deleted.count(path) ? "D" : " ";
  };
  std::set<std::string> shown;
  std::vector<KeyedLine> lines;
  const auto add = [&](const std::string& key, std::string line, bool mark_shown) {
    if (mark_shown) shown.insert(key);
    lines.emplace_back(key, std::move(line));
  };
  for (const auto& [from, to] : status.staged_renamed) {
    shown.insert(to);
    add(from, "R  " + from + " -> " + to, true);
  }
  for (const std::string& path : status.staged_new) {
    add(path, std::string("A").append(worktree_letter(path)).append(" ").append(path), true);
  }
  for (const std::string& path : status.staged_modified) {
    add(path, std::string("M").append(worktree_letter(path)).append(" ").append(path), true);
  }
  for (const std::string& path : status.staged_deleted) add(path, "D  " + path, true);
  for (const std::string& path : status.unstaged_modified) {
    if (!shown.count(path)) add(path, " M " + path, false);
  }
  for (const std::string& path : status.unstaged_deleted) {
    if (!shown.count(path)) add(path, " D " + path, false);
  }
  for (const auto& [from, to] : status.unstaged_renamed) {
    add(from, " D " + from, false);
    add(to, "?? " + to, false);
  }
  for (const std::string& path : status.untracked) add(path, "?? " + path, false);
  std::stable_sort(lines.begin(), lines.end(),
                   [](const KeyedLine& a, const KeyedLine& b) { return a.first < b.first; });
  return lines;
}

void print_short_branch_line(std::ostream& out, const Repository& repo) {
  constexpr std::string_view k_heads = "refs/heads/";
  std::optional<std::string> symref = head_symref(repo);
  if (symref && symref->compare(0, k_heads.size(), k_heads) == 0) {
    out << "## " << symref->substr(k_heads.size()) << "\n";
  } else if (std::optional<ObjectId> head = head_commit(repo)) {
    out << "## HEAD (" << abbreviate_id(*head) << ")\n";
  } else {
    out << "## HEAD\n";
  }
}

int show_status(const Repository& repo, const StatusOptions& opts) {
  std::ostream& out = out_stream();
  if (!opts.short_format) print_branch_header(repo);
  const std::optional<ObjectId> head = head_commit(repo);
  Progress progress("Проверка файлов");
  const WorktreeStatus status = compute_worktree_status(
      repo.root, repo.objects, load_ignore_rules(repo.root), load_index(repo), head, &progress);
  progress.finish();
  if (!opts.short_format && g_verbose && head) out << "HEAD: " << *head << "\n";
  const bool dirty = is_dirty(status);
  if (g_quiet) return dirty ? 1 : 0;
  if (opts.short_format) {
    if (opts.branch) print_short_branch_line(out, repo);
    for (const KeyedLine& line : build_short_lines(status)) out << line.second << "\n";
  } else {
    print_long_report(out, status);
  }
  return dirty ? 1 : 0;
}

}  // namespace

int cmd_status(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"status"});
  std::optional<StatusOptions> opts = parse_status_args(args);
  if (!opts) return 1;
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  return show_status(*repo, *opts);
}
