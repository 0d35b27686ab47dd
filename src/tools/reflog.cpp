#include "tools/reflog.h"

#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "cli/help.h"
#include "cli/open_repo.h"
#include "store/fs.h"
#include "store/repo.h"

namespace {

constexpr uint32_t k_max_reflog_count = 1000000;
constexpr std::string_view k_max_count_prefix = "--max-count=";

std::string_view short_id(std::string_view id) { return id.substr(0, 12); }

// Applies one argument at args[i]; advances i past a consumed value. Answers
// the usage error of a bad argument.
std::optional<ArgError> parse_one_reflog_arg(const Args& args, size_t& i, ReflogOptions& opts) {
  const std::string& arg = args[i];
  if (arg == "-n") {
    if (i + 1 == args.size()) {
      return ArgError{"ожидается число после -n", "например: orrery reflog -n 10"};
    }
    const std::string& value = args[++i];
    opts.max_count = parse_reflog_count(value);
    if (!opts.max_count) return ArgError{"неверное число после -n: " + value, ""};
    return std::nullopt;
  }
  if (arg.rfind(k_max_count_prefix, 0) == 0) {
    opts.max_count = parse_reflog_count(std::string_view(arg).substr(k_max_count_prefix.size()));
    if (!opts.max_count) return ArgError{"неверное --max-count=…", ""};
    return std::nullopt;
  }
  if (!arg.empty() && arg[0] == '-') {
    return ArgError{"неизвестный флаг: " + arg, "orrery reflog [-n N|--max-count=N]"};
  }
  return ArgError{"лишний аргумент: " + arg, "orrery reflog только со счётчиком строк"};
}

// The lines of a reflog text, newest first, cut to the newest `max_count`.
// A line loses its trailing "\r"; a final line feed ends no extra line.
std::vector<std::string_view> newest_reflog_lines(std::string_view text,
                                                  std::optional<uint32_t> max_count) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  std::vector<std::string_view> newest(lines.rbegin(), lines.rend());
  if (max_count && newest.size() > *max_count) newest.resize(*max_count);
  return newest;
}

// "<old 12> → <new 12>\t<message>" for a line of the "<old> <new>\t<message>"
// shape; any other line unchanged.
std::string format_reflog_line(std::string_view line) {
  size_t tab = line.find('\t');
  if (tab == std::string_view::npos || tab == 0) return std::string(line);
  std::string_view ids = line.substr(0, tab);
  size_t space = ids.find(' ');
  if (space == std::string_view::npos) return std::string(line);
  std::string out(short_id(ids.substr(0, space)));
  out += " → ";
  out += short_id(ids.substr(space + 1));
  out += line.substr(tab);
  return out;
}

}  // namespace

Parsed<ReflogOptions> parse_reflog_args(const Args& args) {
  ReflogOptions opts;
  for (size_t i = 0; i < args.size(); ++i) {
    if (std::optional<ArgError> error = parse_one_reflog_arg(args, i, opts)) return *error;
  }
  return opts;
}

std::optional<uint32_t> parse_reflog_count(std::string_view text) {
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > k_max_reflog_count) return std::nullopt;
  }
  if (value == 0) return std::nullopt;
  return static_cast<uint32_t>(value);
}

ReflogResult do_reflog(const Repository& repo, const ReflogOptions& opts) {
  ReflogResult result;
  std::string text;
  result.has_log = read_store_file(orrery_path(repo, "logs/HEAD"), text);
  for (std::string_view line : newest_reflog_lines(text, opts.max_count)) {
    result.lines.push_back(format_reflog_line(line));
  }
  return result;
}

void print_reflog(const ReflogResult& result) {
  if (!result.has_log) {
    out_stream() << "reflog пуст (.orrery/logs/HEAD ещё нет)\n";
    return;
  }
  if (result.lines.empty()) {
    out_stream() << "reflog пуст\n";
    return;
  }
  std::string listing;
  for (const std::string& line : result.lines) listing += line + "\n";
  out_stream() << listing;
}

int cmd_reflog(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"reflog"});

  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  Parsed<ReflogOptions> opts = parse_reflog_args(args);
  if (const ArgError* error = std::get_if<ArgError>(&opts)) return report_arg_error(*error);

  print_reflog(do_reflog(*repo, std::get<ReflogOptions>(opts)));
  return 0;
}
