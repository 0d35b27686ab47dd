#include "tools/grep.h"

#include <cstring>
#include <ostream>
#include <regex>

#include "cli/command_error.h"
#include "cli/help.h"
#include "cli/open_repo.h"
#include "cli/pager.h"
#include "store/fs.h"
#include "store/ignore.h"
#include "store/repo.h"
#include "tools/internal/arg_path.h"
#include "tools/internal/large_stack.h"
#include "tools/internal/line_search.h"
#include "tools/internal/work_tree.h"

namespace {

constexpr std::string_view k_usage =
    "orrery grep [-n|--line-number] [-i|--ignore-case] [-F|--fixed-strings|-E|--extended-regexp] "
    "[--] образец [путь…]";
constexpr size_t k_binary_probe = 8192;
constexpr size_t k_flush_bytes = 1 << 16;
// The expression compiler recurses per element, and the backtracking
// matcher (kept for back-references) per character of a line.
constexpr size_t k_regex_stack_bytes = size_t{1} << 30;

bool apply_option(const std::string& arg, GrepOptions& opts) {
  if (arg == "-n" || arg == "--line-number") {
    opts.line_number = true;
  } else if (arg == "-i" || arg == "--ignore-case") {
    opts.ignore_case = true;
  } else if (arg == "-F" || arg == "--fixed-strings") {
    opts.regex = false;
  } else if (arg == "-E" || arg == "--extended-regexp") {
    opts.regex = true;
  } else {
    return false;
  }
  return true;
}

// Whether the walk would ever reach `relative`: it follows no symlink and
// enters no .orrery or .git, at any depth.
bool is_walkable(const std::string& root, const std::string& relative) {
  for (size_t start = 0;;) {
    const size_t end = relative.find('/', start);
    const std::string_view name = std::string_view(relative).substr(start, end - start);
    if (name == ".orrery" || name == ".git") return false;
    const std::string path = root + "/" + relative.substr(0, end);
    if (is_symbolic_link(path)) return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

void add_files_below(const std::string& root, const std::string& relative, const IgnoreRules& rules,
                     std::vector<std::string>& files) {
  if (!relative.empty() && is_ignored(rules, relative, true)) return;
  for (WorkItem& item : list_work_tree(root, relative, [&](const std::string& path) {
         return !is_ignored(rules, path, true);
       })) {
    if (item.kind == ItemKind::file && !is_ignored(rules, item.path, false)) {
      files.push_back(std::move(item.path));
    }
  }
}

bool is_binary_start(std::string_view content) {
  return std::memchr(content.data(), '\0', std::min(content.size(), k_binary_probe)) != nullptr;
}

void append_match(std::string& out, std::string_view path, size_t number, bool with_number,
                  std::string_view line) {
  out.append(path).append(":");
  if (with_number) out.append(std::to_string(number)).append(":");
  out.append(line).append("\n");
}

// Writes "path[:number]:line" for every matching line of the files to
// `out`, or stops at the first match when `out` is null. Files with a zero
// byte in their first 8 KiB are skipped. Returns whether any line matched.
bool grep_files(const std::string& root, const std::vector<std::string>& files, LineSearch& search,
                bool line_numbers, std::ostream* out) {
  std::string content, path, text;
  bool any = false;
  for (const std::string& file : files) {
    path.assign(root).append("/").append(file);
    if (!read_file_into(path, content) || is_binary_start(content)) continue;
    search_lines(search, content, [&](size_t number, std::string_view line) {
      any = true;
      if (out == nullptr) return false;
      append_match(text, file, number, line_numbers, line);
      return true;
    });
    if (any && out == nullptr) return true;
    if (text.size() >= k_flush_bytes) {
      *out << text;
      text.clear();
    }
  }
  if (out != nullptr) *out << text;
  return any;
}

}  // namespace

Parsed<GrepOptions> parse_grep_args(const Args& args) {
  GrepOptions opts;
  size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg.empty() || arg.front() != '-') break;
    if (!apply_option(arg, opts)) {
      return ArgError{"неизвестный флаг: " + arg, std::string(k_usage), 2};
    }
  }
  if (i == args.size()) {
    return ArgError{"не задан образец для поиска",
                    "например: orrery grep NEEDLE или orrery grep pattern src/", 2};
  }
  opts.pattern = args[i];
  opts.paths.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
  return opts;
}

std::vector<std::string> collect_grep_files(const Repository& repo, const std::string& cwd,
                                            const std::vector<std::string>& paths) {
  const IgnoreRules rules = load_ignore_rules(repo.root);
  std::vector<std::string> files;
  if (paths.empty()) add_files_below(repo.root, "", rules, files);
  for (const std::string& arg : paths) {
    std::optional<std::string> relative = repo_relative_arg(repo.root, cwd, arg);
    const std::string full = repo.root + "/" + relative.value_or("");
    if (!relative || !path_exists(full)) {
      throw CommandError(ArgError{"путь не в репозитории или неверен", "", 2});
    }
    if (!relative->empty() && !is_walkable(repo.root, *relative)) continue;
    if (is_directory(full)) {
      add_files_below(repo.root, *relative, rules, files);
    } else if (is_regular_file(full) && !is_ignored(rules, *relative, false)) {
      files.push_back(*relative);
    }
  }
  return files;
}

bool do_grep(const Repository& repo, const GrepOptions& opts, std::ostream* matches) {
  const auto search_files = [&] {
    std::optional<LineSearch> search;
    try {
      search = make_line_search(opts.pattern, opts.regex, opts.ignore_case);
    } catch (const std::regex_error& e) {
      throw CommandError(ArgError{"неверное регулярное выражение", e.what(), 2});
    }
    const std::vector<std::string> files = collect_grep_files(repo, opts.cwd, opts.paths);
    return grep_files(repo.root, files, *search, opts.line_number, matches);
  };
  if (!opts.regex) return search_files();
  bool any = false;
  run_with_large_stack([&] { any = search_files(); }, k_regex_stack_bytes);
  return any;
}

int cmd_grep(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"grep"});

  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  Parsed<GrepOptions> parsed = parse_grep_args(args);
  if (const ArgError* error = std::get_if<ArgError>(&parsed)) return report_arg_error(*error);
  GrepOptions& opts = std::get<GrepOptions>(parsed);
  opts.cwd = current_directory();
  if (!g_quiet) start_pager();

  return report_command_error(
      [&] { return do_grep(*repo, opts, g_quiet ? nullptr : &out_stream()) ? 0 : 1; });
}
