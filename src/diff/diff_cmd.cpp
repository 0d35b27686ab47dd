#include "diff/diff_cmd.h"

#include <ostream>
#include <string>

#include "cli/help.h"
#include "cli/open_repo.h"
#include "cli/pager.h"
#include "store/fs.h"
#include "store/refs.h"

namespace {

constexpr std::string_view k_diff_usage =
    "orrery diff [--cached|--staged] [--stat|--shortstat|--name-only|--name-status]";

std::optional<DiffFormat> format_option(std::string_view arg) {
  if (arg == "--stat") return DiffFormat::stat;
  if (arg == "--shortstat") return DiffFormat::shortstat;
  if (arg == "--name-only") return DiffFormat::name_only;
  if (arg == "--name-status") return DiffFormat::name_status;
  return std::nullopt;
}

// Reads the working file of an index path into `bytes`, reusing its
// capacity; a missing file, or a path that would lead out of the working
// tree, reads as empty.
void read_working_file(const std::string& root, const std::string& path, std::string& file_path,
                       std::string& bytes) {
  bytes.clear();
  if (!is_safe_relpath(path)) return;
  file_path.assign(root).append("/").append(path);
  if (!read_file_into(file_path, bytes)) bytes.clear();
}

}  // namespace

Parsed<DiffOptions> parse_diff_args(const Args& args) {
  DiffOptions options;
  std::optional<DiffFormat> chosen;
  bool several_formats = false;
  for (const std::string& arg : args) {
    if (arg.empty()) continue;
    if (arg == "--cached" || arg == "--staged") {
      options.cached = true;
    } else if (std::optional<DiffFormat> format = format_option(arg)) {
      several_formats |= chosen && *chosen != *format;
      chosen = format;
    } else if (arg.front() == '-') {
      return ArgError{"неизвестный флаг для diff: " + arg, std::string(k_diff_usage)};
    } else {
      return ArgError{"лишний аргумент: " + arg, std::string(k_diff_usage)};
    }
  }
  if (several_formats) {
    return ArgError{
        "выбери один формат вывода: патч по умолчанию, --stat, --shortstat, --name-only или "
        "--name-status",
        std::string(k_diff_usage)};
  }
  options.format = chosen.value_or(DiffFormat::patch);
  return options;
}

DiffResult do_diff(const Repository& repo, const DiffOptions& options, std::ostream& out) {
  const Index index = load_index(repo);
  if (options.cached) return {diff_head_index(repo, index, options.format, out)};
  return {diff_index_worktree(repo, index, options.format, out)};
}

int print_diff(const DiffResult& result) {
  if (result.differs) return 1;
  out_stream() << green("Нет отличий") << '\n';
  return 0;
}

int cmd_diff(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"diff"});
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  Parsed<DiffOptions> parsed = parse_diff_args(args);
  if (auto* error = std::get_if<ArgError>(&parsed)) return report_arg_error(*error);
  start_pager();
  return print_diff(do_diff(*repo, std::get<DiffOptions>(parsed), out_stream()));
}

bool diff_index_worktree(const Repository& repo, const Index& index, DiffFormat format,
                         std::ostream& out) {
  ChangeReport report;
  report.format = format;
  std::string file_path;
  std::string working;
  for (const auto& [path, entry] : index) {
    read_working_file(repo.root, path, file_path, working);
    // A file that hashes to the staged id has the staged bytes: no need to
    // inflate the blob only to find them equal.
    if (blob_id(working) == entry.hash) continue;
    std::optional<std::string> staged = read_blob(repo.objects, entry.hash);
    if (!staged) continue;
    report_path(out, report, path, *staged, working);
  }
  return finish_report(out, report);
}

bool diff_head_index(const Repository& repo, const Index& index, DiffFormat format,
                     std::ostream& out) {
  ChangeReport report;
  report.format = format;
  std::optional<ObjectId> head = head_commit(repo);
  const PathMap head_paths = head ? commit_tree_map(repo.objects, *head) : PathMap{};
  for (const auto& [path, entry] : index) {
    auto in_head = head_paths.find(path);
    if (in_head == head_paths.end() && is_name_format(format)) {
      report_listed_path(out, report, 'A', path);
    } else if (in_head == head_paths.end()) {
      report_path(out, report, path, {}, blob_bytes(repo.objects, entry.hash));
    } else if (in_head->second != entry.hash) {
      report_path(out, report, path, blob_bytes(repo.objects, in_head->second),
                  blob_bytes(repo.objects, entry.hash));
    }
  }
  for (const auto& [path, id] : head_paths) {
    if (index.count(path)) continue;
    if (is_name_format(format)) {
      report_listed_path(out, report, 'D', path);
    } else {
      report_path(out, report, path, blob_bytes(repo.objects, id), {});
    }
  }
  return finish_report(out, report);
}
