#include "hub/pr_cmd.h"

#include <iostream>
#include <string>

#include "cli/help.h"
#include "hub/credentials.h"
#include "hub/rest_client.h"
#include "hub/safe_text.h"
#include "store/refs.h"
#include "store/repo.h"
#include "worktree/branch.h"

namespace {

int pr_list(const std::string& token) {
  std::vector<HubPullRequest> pulls;
  std::string error;
  if (!hub_list_pull_requests(token, pulls, &error)) {
    print_error("не удалось получить список PR", printable_text(error));
    return 1;
  }
  for (const HubPullRequest& pull : pulls) {
    std::cout << "#" << pull.id << " [" << printable_text(pull.state) << "] "
              << printable_text(pull.title);
    const std::string sha = pull.head_sha.value_or("");
    if (!sha.empty()) std::cout << " (" << printable_text(sha.substr(0, 12)) << ")";
    std::cout << "\n";
  }
  return 0;
}

struct PrCreateOptions {
  std::string title;
  std::string head = "main";
};

std::optional<PrCreateOptions> parse_pr_create_args(const Args& args) {
  PrCreateOptions opts;
  bool has_title = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--head" && i + 1 < args.size()) {
      opts.head = args[++i];
    } else if (!has_title) {
      opts.title = args[i];
      has_title = true;
    }
  }
  if (!has_title) {
    print_error("неверное число аргументов", "orrery pr create <title> [--head <branch>]");
    return std::nullopt;
  }
  return opts;
}

int pr_create(const std::string& token, const Args& args) {
  std::optional<PrCreateOptions> opts = parse_pr_create_args(args);
  if (!opts) return 1;
  const std::string root = find_repo_root(".");
  if (!is_initialized(root)) {
    print_error("не найден репозиторий orrery", "запусти 'orrery init'");
    return 1;
  }
  // The branch name becomes a path under .orrery: an invalid one is simply
  // not a branch.
  std::optional<std::string> head_sha;
  if (is_valid_ref_name(opts->head)) head_sha = read_ref(root, "refs/heads/" + opts->head);
  if (!head_sha) {
    print_error("ветка не найдена: " + opts->head, "создай коммит на ветке");
    return 1;
  }
  int32_t repository_id = 0;
  std::string error;
  if (!hub_repo_id_for_origin(token, root, repository_id, &error)) {
    print_error("не удалось определить репозиторий на Hub", printable_text(error));
    return 1;
  }
  int32_t id = 0;
  if (!hub_create_pull_request(token, repository_id, opts->title, *head_sha, opts->head, id,
                               &error)) {
    print_error("не удалось создать PR", printable_text(error));
    return 1;
  }
  std::cout << "Создан pull request #" << id << "\n";
  return 0;
}

int pr_merge(const std::string& token, const Args& args) {
  if (args.size() < 2) {
    print_error("неверное число аргументов", "orrery pr merge <id> [merge|squash|rebase]");
    return 1;
  }
  std::optional<int32_t> id = parse_leading_int32(args[1]);
  if (!id) {
    print_error("неверный id PR", args[1]);
    return 1;
  }
  const std::string method = args.size() > 2 ? args[2] : "merge";
  std::string error;
  if (!hub_merge_pull_request(token, *id, method, &error)) {
    print_error("не удалось выполнить merge PR", printable_text(error));
    return 1;
  }
  std::cout << "Pull request #" << *id << " merged (" << method << ")\n";
  return 0;
}

}  // namespace

std::optional<int32_t> parse_leading_int32(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  int64_t value = 0;
  size_t digits = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
    value = value * 10 + (text[at] - '0');
    if (value > int64_t{INT32_MAX} + 1) return std::nullopt;
  }
  if (digits == 0) return std::nullopt;
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  return static_cast<int32_t>(value);
}

int cmd_pr(const Args& args) {
  if (args.empty() || has_help_flag(args)) return cmd_help({"pr"});
  std::optional<std::string> token = current_token();
  if (!token) {
    print_error("не выполнен вход в Orrery Hub", "запусти 'orrery login'");
    return 1;
  }
  if (args[0] == "list") return pr_list(*token);
  if (args[0] == "create") return pr_create(*token, args);
  if (args[0] == "merge") return pr_merge(*token, args);
  print_error("неизвестная подкоманка pr: " + args[0], "orrery pr list | create | merge");
  return 1;
}
