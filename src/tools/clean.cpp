#include "tools/clean.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ostream>

#include "cli/help.h"
#include "cli/open_repo.h"
#include "store/ignore.h"
#include "store/index.h"
#include "store/repo.h"
#include "tools/internal/work_tree.h"

namespace {

constexpr std::string_view k_usage = "orrery clean [-n|--dry-run] [-f|--force] [-d]";

// Directories of the walk, each after everything below it, keeping the
// walk's byte order among siblings.
std::vector<size_t> directories_children_first(const std::vector<WorkItem>& items) {
  std::vector<size_t> order;
  std::vector<size_t> open;
  for (size_t i = 0; i < items.size(); ++i) {
    while (!open.empty() && static_cast<int32_t>(open.back()) != items[i].parent) {
      order.push_back(open.back());
      open.pop_back();
    }
    if (items[i].kind == ItemKind::directory) open.push_back(i);
  }
  order.insert(order.end(), open.rbegin(), open.rend());
  return order;
}

// Marks every directory whose entries are all selected. Everything below a
// directory comes after it in the walk, so a reverse pass settles each
// directory's entries before the directory itself.
void select_empty_directories(const std::vector<WorkItem>& items, std::vector<char>& selected) {
  std::vector<char> kept(items.size(), 0);
  for (size_t i = items.size(); i-- > 0;) {
    const WorkItem& item = items[i];
    if (item.kind == ItemKind::directory) selected[i] = item.entered && !kept[i];
    if (!selected[i] && item.parent >= 0) kept[static_cast<size_t>(item.parent)] = 1;
  }
}

ArgError removal_failure(const char* message, const std::string& path) {
  return ArgError{message, path + ": " + std::strerror(errno)};
}

void print_plan(const CleanPlan& plan, bool dry_run) {
  const std::string_view prefix = dry_run ? "Would remove " : "Removing ";
  std::string text;
  for (const std::string& path : plan.files) text.append(prefix).append(path).append("\n");
  for (const std::string& path : plan.directories) {
    text.append(prefix).append(path).append("/\n");
  }
  out_stream() << text;
}

}  // namespace

Parsed<CleanOptions> parse_clean_args(const Args& args) {
  CleanOptions opts;
  for (const std::string& arg : args) {
    if (arg == "-n" || arg == "--dry-run") {
      opts.dry_run = true;
    } else if (arg == "-f" || arg == "--force") {
      opts.force = true;
    } else if (arg == "-d") {
      opts.directories = true;
    } else if (!arg.empty() && arg.front() == '-') {
      return ArgError{"неизвестный флаг: " + arg, std::string(k_usage)};
    } else {
      return ArgError{"лишний аргумент: " + arg, std::string(k_usage)};
    }
  }
  if (!opts.dry_run && !opts.force) {
    return ArgError{"отказ без действия по умолчанию",
                    "просмотр: orrery clean -n [-d]; удаление: orrery clean -f [-d]"};
  }
  return opts;
}

CleanPlan plan_clean(const Repository& repo, bool directories) {
  const Index index = load_index(repo);
  const IgnoreRules rules = load_ignore_rules(repo.root);
  const std::vector<WorkItem> items = list_work_tree(
      repo.root, "", [&](const std::string& path) { return !is_ignored(rules, path, true); });
  std::vector<char> selected(items.size(), 0);
  CleanPlan plan;
  for (size_t i = 0; i < items.size(); ++i) {
    const WorkItem& item = items[i];
    if (item.kind != ItemKind::file || index.count(item.path)) continue;
    if (is_ignored(rules, item.path, false)) continue;
    selected[i] = 1;
    plan.files.push_back(item.path);
  }
  if (!directories) return plan;
  select_empty_directories(items, selected);
  for (size_t i : directories_children_first(items)) {
    if (selected[i]) plan.directories.push_back(items[i].path);
  }
  return plan;
}

std::optional<ArgError> remove_planned(const std::string& root, const CleanPlan& plan) {
  for (const std::string& path : plan.files) {
    if (::unlink((root + "/" + path).c_str()) != 0) {
      return removal_failure("не удалось удалить файл", path);
    }
  }
  for (const std::string& path : plan.directories) {
    if (::rmdir((root + "/" + path).c_str()) != 0) {
      return removal_failure("не удалось удалить каталог", path);
    }
  }
  return std::nullopt;
}

CleanResult do_clean(const Repository& repo, const CleanOptions& opts) {
  CleanResult result{plan_clean(repo, opts.directories), opts.dry_run, std::nullopt};
  if (!opts.dry_run) result.failure = remove_planned(repo.root, result.plan);
  return result;
}

int print_clean(const CleanResult& result) {
  if (!g_quiet) print_plan(result.plan, result.dry_run);
  return result.failure ? report_arg_error(*result.failure) : 0;
}

int cmd_clean(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"clean"});

  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  Parsed<CleanOptions> opts = parse_clean_args(args);
  if (const ArgError* error = std::get_if<ArgError>(&opts)) return report_arg_error(*error);

  return print_clean(do_clean(*repo, std::get<CleanOptions>(opts)));
}
