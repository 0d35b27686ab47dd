#include "worktree/tag.h"

#include <ostream>

#include "cli/command_error.h"
#include "cli/help.h"
#include "cli/open_repo.h"
#include "store/refs.h"
#include "store/repo.h"
#include "store/revision.h"
#include "worktree/branch.h"

namespace {

std::optional<ArgError> bad_tag_name(const std::string& name) {
  if (is_valid_ref_name(name)) return std::nullopt;
  return ArgError{"недопустимое имя тега: " + name, ""};
}

// Deletes in order; the first failure ends the work, what was deleted stays
// deleted and is reported.
TagResult delete_tags(const Repository& repo, const std::vector<std::string>& names) {
  TagResult result;
  for (const std::string& name : names) {
    if ((result.stopped = bad_tag_name(name))) return result;
    const RefDeletion deletion = delete_ref(repo, "refs/tags/" + name);
    if (deletion == RefDeletion::absent) {
      result.stopped = ArgError{"тег не найден: " + name, ""};
      return result;
    }
    if (deletion == RefDeletion::failed) {
      result.stopped = ArgError{"не удалось удалить тег: " + name, ""};
      return result;
    }
    result.lines.push_back("удалён тег " + name);
  }
  return result;
}

TagResult create_tag(const Repository& repo, const TagOptions& options) {
  const std::string& name = options.names.front();
  if (std::optional<ArgError> bad = bad_tag_name(name)) throw CommandError(*bad);
  std::optional<ObjectId> commit = resolve_revision(repo, options.revision);
  if (!commit) throw CommandError("не удалось разрешить ревизию: " + options.revision, "");
  update_ref(repo, "refs/tags/" + name, *commit);
  return {};
}

}  // namespace

Parsed<TagOptions> parse_tag_args(const Args& args) {
  TagOptions options;
  if (args.empty()) return options;
  if (args.front() == "-d" || args.front() == "--delete") {
    options.names.assign(args.begin() + 1, args.end());
    if (options.names.empty()) {
      return ArgError{"укажи хотя бы одно имя тега", "orrery tag -d|--delete <тег…>", 1, "tag"};
    }
    options.action = TagOptions::Action::remove;
    return options;
  }
  if (args.size() > 2) return help_error("tag");
  options.action = TagOptions::Action::create;
  options.names = {args[0]};
  if (args.size() == 2) options.revision = args[1];
  return options;
}

TagResult do_tag(const Repository& repo, const TagOptions& options) {
  switch (options.action) {
    case TagOptions::Action::list: {
      TagResult result;
      for (auto& [name, id] : list_refs_in(repo, "refs/tags")) result.lines.push_back(name);
      return result;
    }
    case TagOptions::Action::remove:
      return delete_tags(repo, options.names);
    case TagOptions::Action::create:
      return create_tag(repo, options);
  }
  return {};
}

int print_tag(const TagResult& result) {
  std::ostream& out = out_stream();
  for (const std::string& line : result.lines) out << line << "\n";
  return result.stopped ? report_arg_error(*result.stopped) : 0;
}

int cmd_tag(const Args& args) {
  // Unlike most commands, tag looks for its repository before its help flag.
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  if (has_help_flag(args)) return cmd_help({"tag"});
  Parsed<TagOptions> parsed = parse_tag_args(args);
  if (auto* error = std::get_if<ArgError>(&parsed)) return report_arg_error(*error);
  return report_command_error(
      [&] { return print_tag(do_tag(*repo, std::get<TagOptions>(parsed))); });
}
