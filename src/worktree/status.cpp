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

// Applies one "-xyz" cluster; an error names the first unknown letter.
std::optional<ArgError> apply_cluster(const std::string& arg, StatusOptions& opts) {
  for (char letter : std::string_view(arg).substr(1)) {
    if (letter == 's') {
      opts.short_format = true;
    } else if (letter == 'b') {
      opts.branch = true;
    } else {
      return ArgError{"неизвестный флаг status: -" + std::string(1, letter), std::string(k_usage)};
    }
  }
  return std::nullopt;
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

std::string short_branch_line(const Repository& repo, const std::optional<ObjectId>& head) {
  constexpr std::string_view k_heads = "refs/heads/";
  std::optional<std::string> symref = head_symref(repo);
  if (symref && symref->compare(0, k_heads.size(), k_heads) == 0) {
    return "## " + symref->substr(k_heads.size());
  }
  if (head) return "## HEAD (" + abbreviate_id(*head) + ")";
  return "## HEAD";
}

}  // namespace

Parsed<StatusOptions> parse_status_args(const Args& args) {
  StatusOptions opts;
  for (const std::string& arg : args) {
    if (arg.empty()) continue;
    if (arg == "-s" || arg == "--short") {
      opts.short_format = true;
    } else if (arg == "-b" || arg == "--branch") {
      opts.branch = true;
    } else if (arg.size() >= 2 && arg[0] == '-' && arg[1] != '-') {
      if (std::optional<ArgError> error = apply_cluster(arg, opts)) return *error;
    } else {
      return ArgError{"неизвестный аргумент для status: " + arg, std::string(k_usage)};
    }
  }
  return opts;
}

StatusResult do_status(const Repository& repo, const StatusOptions& opts, Progress* progress) {
  StatusResult result;
  const bool report = !opts.quiet;
  result.head = head_commit(repo);
  result.status = compute_worktree_status(repo.root, repo.objects, load_ignore_rules(repo.root),
                                          load_index(repo), result.head, progress);
  if (report && opts.short_format && opts.branch) {
    result.short_branch_line = short_branch_line(repo, result.head);
  }
  return result;
}

int print_status(const StatusResult& result, const StatusOptions& opts) {
  std::ostream& out = out_stream();
  const bool dirty = is_dirty(result.status);
  if (opts.short_format) {
    if (opts.quiet) return dirty ? 1 : 0;
    if (opts.branch) out << result.short_branch_line << "\n";
    for (const KeyedLine& line : build_short_lines(result.status)) out << line.second << "\n";
    return dirty ? 1 : 0;
  }
  if (g_verbose && result.head) out << "HEAD: " << *result.head << "\n";
  if (!opts.quiet) print_long_report(out, result.status);
  return dirty ? 1 : 0;
}

int cmd_status(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"status"});
  Parsed<StatusOptions> parsed = parse_status_args(args);
  if (auto* error = std::get_if<ArgError>(&parsed)) return report_arg_error(*error);
  StatusOptions& opts = std::get<StatusOptions>(parsed);
  opts.quiet = g_quiet;
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  // The header goes out before the scan, which a damaged index can end.
  if (!opts.quiet && !opts.short_format) print_branch_header(out_stream(), branch_header(*repo));
  Progress progress("Проверка файлов");
  const StatusResult result = do_status(*repo, opts, &progress);
  progress.finish();
  return print_status(result, opts);
}
