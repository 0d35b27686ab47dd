#include "diff/show_cmd.h"

#include <ostream>
#include <string>

#include "cli/command_error.h"
#include "cli/help.h"
#include "cli/open_repo.h"
#include "cli/pager.h"
#include "store/revision.h"

namespace {

constexpr std::string_view k_show_usage = "orrery show [--stat|--shortstat] <ревизия>";
constexpr std::string_view k_revision_hint =
    "orrery show <ревизия> или orrery show [--stat|--shortstat] <ревизия>";

void write_commit_header(std::ostream& out, const ObjectId& id, const Commit& commit) {
  out << "коммит " << id << "\nАвтор: " << commit.author << "\nВремя: " << commit.timestamp << '\n';
  if (!commit.parents.empty()) {
    out << "Родители: ";
    for (size_t i = 0; i < commit.parents.size(); ++i) {
      out << (i == 0 ? "" : ", ") << commit.parents[i];
    }
    out << '\n';
  }
  out << "Дерево: " << commit.tree << "\n\n" << commit.message << "\n\n";
}

}  // namespace

Parsed<ShowOptions> parse_show_args(const Args& args) {
  bool stat = false;
  bool shortstat = false;
  std::vector<std::string> positional;
  for (const std::string& arg : args) {
    if (arg.empty()) continue;
    if (arg == "--stat") {
      stat = true;
    } else if (arg == "--shortstat") {
      shortstat = true;
    } else if (arg.front() == '-') {
      return ArgError{"неизвестный флаг для show: " + arg, std::string(k_show_usage)};
    } else {
      positional.push_back(arg);
    }
  }
  if (stat && shortstat) {
    return ArgError{"нельзя сочетать --stat и --shortstat",
                    "выбери один вариант: orrery show [--stat|--shortstat] <ревизия>"};
  }
  if (positional.size() != 1) {
    return ArgError{positional.empty() ? "не указана ревизия" : "слишком много аргументов",
                    std::string(k_revision_hint)};
  }
  DiffFormat format = stat ? DiffFormat::stat : DiffFormat::patch;
  if (shortstat) format = DiffFormat::shortstat;
  return ShowOptions{format, positional.front()};
}

ShowResult do_show(const Repository& repo, const ShowOptions& options) {
  std::optional<ObjectId> id = resolve_revision(repo, options.revision);
  if (!id) {
    throw CommandError("не удалось разобрать ревизию: " + options.revision,
                       "проверь имя ветки, тега или HASH");
  }
  std::optional<Commit> commit = read_commit_if_intact(repo.objects, *id);
  if (!commit) throw CommandError("объект не является коммитом", options.revision);
  return {*id, std::move(*commit)};
}

void write_show(const Repository& repo, const ShowResult& shown, DiffFormat format,
                std::ostream& out) {
  write_commit_header(out, shown.id, shown.commit);
  show_commit_changes(repo, shown.commit, format, out);
}

int cmd_show(const Args& args) {
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  if (has_help_flag(args)) return cmd_help({"show"});
  Parsed<ShowOptions> parsed = parse_show_args(args);
  if (auto* error = std::get_if<ArgError>(&parsed)) return report_arg_error(*error);
  const ShowOptions& options = std::get<ShowOptions>(parsed);
  return report_command_error([&] {
    const ShowResult shown = do_show(*repo, options);
    start_pager();
    write_show(*repo, shown, options.format, out_stream());
    return 0;
  });
}

void show_commit_changes(const Repository& repo, const Commit& commit, DiffFormat format,
                         std::ostream& out) {
  ChangeReport report;
  report.format = format;
  const PathMap before =
      commit.parents.empty() ? PathMap{} : commit_tree_map(repo.objects, commit.parents.front());
  PathMap after;
  flatten_tree(repo.objects, commit.tree, "", after);
  for (const auto& [path, id] : after) {
    auto old = before.find(path);
    if (old == before.end()) {
      report_path(out, report, path, {}, blob_bytes(repo.objects, id));
    } else if (old->second != id) {
      report_path(out, report, path, blob_bytes(repo.objects, old->second),
                  blob_bytes(repo.objects, id));
    }
  }
  for (const auto& [path, id] : before) {
    if (!after.count(path)) report_path(out, report, path, blob_bytes(repo.objects, id), {});
  }
  if (!finish_report(out, report)) out << "Нет отличий дерева коммита от первого родителя.\n";
}
