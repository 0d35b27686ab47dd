#include "hub/hub_cmd.h"

#include <iostream>

#include "cli/help.h"
#include "hub/credentials.h"
#include "hub/safe_text.h"
#include "net/clone.h"
#include "net/hub_url.h"
#include "util/text.h"

namespace {

constexpr std::string_view k_clone_usage =
    "orrery hub clone <owner/repo> [папка] [ветка] [--workspace <каталог>]";

struct HubCloneOptions {
  std::string owner;
  std::string repo;
  std::string folder;  // empty: the repository's name
  std::string branch = "main";
  std::string workspace;
};

// Reads the arguments after "clone"; nothing (after the report) when they
// do not name owner/repo.
std::optional<HubCloneOptions> parse_hub_clone_args(const Args& args) {
  if (args.size() < 2) {
    print_usage(std::cout, k_clone_usage,
                "Сначала orrery login. Клонирование по HTTP с Bearer (как orrery clone).");
    return std::nullopt;
  }
  HubCloneOptions opts;
  std::vector<std::string> positionals;
  for (size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "--workspace" && i + 1 < args.size()) {
      opts.workspace = args[++i];
    } else {
      positionals.push_back(args[i]);
    }
  }
  const std::string& name = args[1];
  const size_t slash = name.find('/');
  if (slash == std::string::npos || slash == 0 || slash + 1 == name.size()) {
    print_error("ожидается owner/repo", "например orrery hub clone alice/demo");
    return std::nullopt;
  }
  opts.owner = name.substr(0, slash);
  opts.repo = name.substr(slash + 1);
  if (!positionals.empty()) opts.folder = positionals[0];
  if (positionals.size() > 1) opts.branch = positionals[1];
  return opts;
}

std::string clone_destination(const HubCloneOptions& opts) {
  const std::string folder = opts.folder.empty() ? opts.repo : opts.folder;
  std::string workspace = opts.workspace;
  while (!workspace.empty() && (workspace.back() == '/' || workspace.back() == '\\')) {
    workspace.pop_back();
  }
  return workspace.empty() ? folder : workspace + "/" + folder;
}

int hub_clone(const std::string& token, const Args& args) {
  std::optional<HubCloneOptions> opts = parse_hub_clone_args(args);
  if (!opts) return 1;
  HubCloneUrls urls;
  std::string error;
  if (!hub_clone_urls(token, opts->owner, opts->repo, urls, &error)) {
    print_error("не удалось получить URL клонирования", printable_text(error));
    return 1;
  }
  const std::string full_name = opts->owner + "/" + opts->repo;
  if (urls.http.empty()) {
    print_error("нет прав на репозиторий или репозиторий не найден",
                "проверь имя и доступ к " + printable_text(full_name));
    return 1;
  }
  // The URL comes from the server: only a web address may reach clone,
  // never a local path or an SSH address it would act on.
  if (!is_http_url(urls.http)) {
    print_error("не удалось получить URL клонирования",
                "Hub вернул адрес не http(s): " + printable_text(urls.http));
    return 1;
  }
  return cmd_clone({urls.http, clone_destination(*opts), opts->branch});
}

int hub_repos(const std::string& token) {
  std::vector<HubRepo> repos;
  std::string error;
  if (!hub_list_repos(token, repos, &error)) {
    print_error("не удалось получить список репозиториев", printable_text(error));
    return 1;
  }
  if (repos.empty()) {
    std::cout << "(нет доступных репозиториев)\n";
    return 0;
  }
  if (color_enabled()) {
    std::cout << bold("id") << "\t" << bold("owner/name") << "\t" << bold("видимость") << "\t"
              << bold("описание") << "\n";
  } else {
    std::cout << "id\towner/name\tвидимость\tописание\n";
  }
  for (const HubRepo& repo : repos) print_repo_row(repo);
  return 0;
}

}  // namespace

void print_repo_row(const HubRepo& repo) {
  const std::string full_name = repo.owner_username.value_or("?") + "/" + repo.name;
  std::cout << cyan(std::to_string(repo.id)) << "\t" << bold(printable_text(full_name)) << "\t"
            << (repo.is_private ? yellow("private") : green("public"));
  const std::string description = repo.description.value_or("");
  if (!description.empty()) std::cout << "\t" << printable_text(description);
  std::cout << "\n";
}

int cmd_hub(const Args& args) {
  if (args.empty() || has_help_flag(args)) return cmd_help({"hub"});
  std::optional<std::string> token = current_token();
  if (!token) {
    print_error("нет токена для Orrery Hub",
                "выполни orrery login (OAuth или orrery login <token>)");
    return 1;
  }
  if (args[0] == "repos") return hub_repos(*token);
  if (args[0] == "clone") return hub_clone(*token, args);
  print_error("неизвестная подкоманда hub: " + args[0],
              "orrery hub repos | orrery hub clone <owner/repo> …");
  return 1;
}
