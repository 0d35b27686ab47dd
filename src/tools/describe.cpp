#include "tools/describe.h"

#include <algorithm>
#include <ostream>

#include "cli/help.h"
#include "cli/open_repo.h"
#include "store/refs.h"
#include "store/repo.h"
#include "store/revision.h"

std::optional<DescribeOptions> parse_describe_args(const Args& args) {
  DescribeOptions opts;
  bool have_revision = false;
  for (const std::string& arg : args) {
    if (arg == "--always") {
      opts.always = true;
    } else if (arg == "--tags") {
      continue;
    } else if (!arg.empty() && arg[0] == '-') {
      print_error("describe: неизвестный флаг: " + arg,
                  "orrery describe [--always] [--tags] [ревизия]");
      return std::nullopt;
    } else if (have_revision) {
      print_error("describe: ожидается не больше одной ревизии",
                  "orrery describe [опции] [ревизия]");
      return std::nullopt;
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

int cmd_describe(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"describe"});

  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  std::optional<DescribeOptions> opts = parse_describe_args(args);
  if (!opts) return 1;

  std::optional<ObjectId> id = resolve_revision(*repo, opts->revision);
  if (!id) {
    print_error("describe: не удалось разрешить ревизию: " + opts->revision,
                "orrery describe [ревизия]");
    return 1;
  }
  std::vector<std::string> tags = tags_pointing_at(*repo, *id);
  if (!tags.empty()) {
    out_stream() << tags.front() << "\n";
    return 0;
  }
  if (opts->always) {
    out_stream() << id->substr(0, 12) << "\n";
    return 0;
  }
  print_error("нет тега, указывающего на этот коммит",
              "создай lightweight-тег (`orrery tag …`) или добавь --always для сокращённого хэша");
  return 1;
}
