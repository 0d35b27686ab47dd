#include "tools/describe.h"

#include <algorithm>
#include <ostream>

#include "cli/command_error.h"
#include "cli/help.h"
#include "cli/open_repo.h"
#include "store/refs.h"
#include "store/repo.h"
#include "store/revision.h"

Parsed<DescribeOptions> parse_describe_args(const Args& args) {
  DescribeOptions opts;
  bool have_revision = false;
  for (const std::string& arg : args) {
    if (arg == "--always") {
      opts.always = true;
    } else if (arg == "--tags") {
      continue;
    } else if (!arg.empty() && arg[0] == '-') {
      return ArgError{"describe: неизвестный флаг: " + arg,
                      "orrery describe [--always] [--tags] [ревизия]"};
    } else if (have_revision) {
      return ArgError{"describe: ожидается не больше одной ревизии",
                      "orrery describe [опции] [ревизия]"};
    } else {
      opts.revision = arg;
      have_revision = true;
    }
  }
  return opts;
}

std::vector<std::string> tags_pointing_at(const Repository& repo, const ObjectId& id) {
  std::vector<std::string> names;
  for (const auto& [name, value] : list_refs_in(repo, "refs/tags")) {
    if (value == id) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string do_describe(const Repository& repo, const DescribeOptions& opts) {
  std::optional<ObjectId> id = resolve_revision(repo, opts.revision);
  if (!id) {
    throw CommandError("describe: не удалось разрешить ревизию: " + opts.revision,
                       "orrery describe [ревизия]");
  }
  std::vector<std::string> tags = tags_pointing_at(repo, *id);
  if (!tags.empty()) return tags.front();
  if (opts.always) return id->substr(0, 12);
  throw CommandError(
      "нет тега, указывающего на этот коммит",
      "создай lightweight-тег (`orrery tag …`) или добавь --always для сокращённого хэша");
}

int print_describe(const std::string& name) {
  out_stream() << name << "\n";
  return 0;
}

int cmd_describe(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"describe"});

  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  Parsed<DescribeOptions> opts = parse_describe_args(args);
  if (const ArgError* error = std::get_if<ArgError>(&opts)) return report_arg_error(*error);

  return report_command_error(
      [&] { return print_describe(do_describe(*repo, std::get<DescribeOptions>(opts))); });
}
