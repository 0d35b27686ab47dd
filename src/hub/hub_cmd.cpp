#include "hub/hub_cmd.h"

#include <ostream>

#include "cli/command_error.h"
#include "cli/help.h"
#include "hub/credentials.h"
#include "hub/safe_text.h"
#include "net/clone.h"
#include "net/hub_url.h"
#include "util/text.h"

namespace {

constexpr std::string_view k_clone_usage =
    "orrery hub clone <owner/repo> [папка] [ветка] [--workspace <каталог>]";

std::string clone_destination(const HubCloneOptions& opts) {
  const std::string folder = opts.folder.empty() ? opts.repo : opts.folder;
  std::string workspace = opts.workspace;
  while (!workspace.empty() && (workspace.back() == '/' || workspace.back() == '\\')) {
    workspace.pop_back();
  }
  return workspace.empty() ? folder : workspace + "/" + folder;
}

CloneOptions resolve_clone(const std::string& token, const HubCloneOptions& opts) {
  HubCloneUrls urls;
  std::string error;
  if (!hub_clone_urls(token, opts.owner, opts.repo, urls, &error)) {
    throw CommandError("не удалось получить URL клонирования", printable_text(error));
  }
  const std::string full_name = opts.owner + "/" + opts.repo;
  if (urls.http.empty()) {
    throw CommandError("нет прав на репозиторий или репозиторий не найден",
                       "проверь имя и доступ к " + printable_text(full_name));
  }
  // The URL comes from the server: only a web address may reach clone,
  // never a local path or an SSH address it would act on.
  if (!is_http_url(urls.http)) {
    throw CommandError("не удалось получить URL клонирования",
                       "Hub вернул адрес не http(s): " + printable_text(urls.http));
  }
  Parsed<CloneOptions> clone = parse_clone_args({urls.http, clone_destination(opts), opts.branch});
  if (const ArgError* bad = std::get_if<ArgError>(&clone)) throw CommandError(*bad);
  return std::get<CloneOptions>(clone);
}

}  // namespace

Parsed<HubOptions> parse_hub_args(const Args& args) {
  HubOptions opts;
  if (args.at(0) == "repos") return opts;
  if (args[0] != "clone") {
    return ArgError{"неизвестная подкоманда hub: " + args[0],
                    "orrery hub repos | orrery hub clone <owner/repo> …"};
  }
  opts.action = args.size() < 2 ? HubAction::clone_usage : HubAction::clone;
  if (opts.action == HubAction::clone_usage) return opts;
  std::vector<std::string> positionals;
  for (size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "--workspace" && i + 1 < args.size()) {
      opts.clone.workspace = args[++i];
    } else {
      positionals.push_back(args[i]);
    }
  }
  const std::string& name = args[1];
  const size_t slash = name.find('/');
  if (slash == std::string::npos || slash == 0 || slash + 1 == name.size()) {
    return ArgError{"ожидается owner/repo", "например orrery hub clone alice/demo"};
  }
  opts.clone.owner = name.substr(0, slash);
  opts.clone.repo = name.substr(slash + 1);
  if (!positionals.empty()) opts.clone.folder = positionals[0];
  if (positionals.size() > 1) opts.clone.branch = positionals[1];
  return opts;
}

HubResult do_hub(const std::string& token, const HubOptions& opts) {
  HubResult result;
  result.action = opts.action;
  std::string error;
  if (opts.action == HubAction::repos && !hub_list_repos(token, result.repos, &error)) {
    throw CommandError("не удалось получить список репозиториев", printable_text(error));
  }
  if (opts.action == HubAction::clone) result.clone = resolve_clone(token, opts.clone);
  return result;
}

int print_hub(const HubResult& result) {
  if (result.action == HubAction::clone_usage) {
    print_usage(out_stream(), k_clone_usage,
                "Сначала orrery login. Клонирование по HTTP с Bearer (как orrery clone).");
    return 1;
  }
  if (result.action != HubAction::repos) return 0;
  std::ostream& out = out_stream();
  if (result.repos.empty()) {
    out << "(нет доступных репозиториев)\n";
    return 0;
  }
  if (color_enabled()) {
    out << bold("id") << "\t" << bold("owner/name") << "\t" << bold("видимость") << "\t"
        << bold("описание") << "\n";
  } else {
    out << "id\towner/name\tвидимость\tописание\n";
  }
  for (const HubRepo& repo : result.repos) print_repo_row(repo);
  return 0;
}

void print_repo_row(const HubRepo& repo) {
  const std::string full_name = repo.owner_username.value_or("?") + "/" + repo.name;
  out_stream() << cyan(std::to_string(repo.id)) << "\t" << bold(printable_text(full_name)) << "\t"
               << (repo.is_private ? yellow("private") : green("public"));
  const std::string description = repo.description.value_or("");
  if (!description.empty()) out_stream() << "\t" << printable_text(description);
  out_stream() << "\n";
}

int cmd_hub(const Args& args) {
  if (args.empty() || has_help_flag(args)) return cmd_help({"hub"});
  std::optional<std::string> token = current_token();
  if (!token) {
    print_error("нет токена для Orrery Hub",
                "выполни orrery login (OAuth или orrery login <token>)");
    return 1;
  }
  Parsed<HubOptions> opts = parse_hub_args(args);
  if (const ArgError* error = std::get_if<ArgError>(&opts)) return report_arg_error(*error);
  return report_command_error([&] {
    const HubResult result = do_hub(*token, std::get<HubOptions>(opts));
    if (int code = print_hub(result); code != 0) return code;
    // The clone reports its own progress and outcome.
    return result.action == HubAction::clone ? run_clone(result.clone) : 0;
  });
}
