#include "hub/pr_cmd.h"

#include <ostream>
#include <string>

#include "cli/command_error.h"
#include "cli/help.h"
#include "hub/credentials.h"
#include "hub/rest_client.h"
#include "hub/safe_text.h"
#include "store/refs.h"
#include "store/repo.h"
#include "worktree/branch.h"

namespace {

// A failed call to the hub, the server's text made printable.
CommandError hub_failure(const std::string& message, const std::string& error) {
  return {message, printable_text(error)};
}

void create_pull_request(const std::string& token, const std::string& root, const PrOptions& opts,
                         PrResult& result) {
  // The branch name becomes a path under .orrery: an invalid one is simply
  // not a branch.
  std::optional<std::string> head_sha;
  if (is_valid_ref_name(opts.head)) head_sha = read_ref(root, "refs/heads/" + opts.head);
  if (!head_sha) throw CommandError("ветка не найдена: " + opts.head, "создай коммит на ветке");
  int32_t repository_id = 0;
  std::string error;
  if (!hub_repo_id_for_origin(token, root, repository_id, &error)) {
    throw hub_failure("не удалось определить репозиторий на Hub", error);
  }
  if (!hub_create_pull_request(token, repository_id, opts.title, *head_sha, opts.head, result.id,
                               &error)) {
    throw hub_failure("не удалось создать PR", error);
  }
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

Parsed<PrOptions> parse_pr_args(const Args& args) {
  PrOptions opts;
  const std::string& verb = args.at(0);
  if (verb == "list") {
    opts.action = PrAction::list;
  } else if (verb == "create") {
    opts.action = PrAction::create;
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
      return ArgError{"неверное число аргументов", "orrery pr create <title> [--head <branch>]"};
    }
  } else if (verb == "merge") {
    opts.action = PrAction::merge;
    if (args.size() < 2) {
      return ArgError{"неверное число аргументов", "orrery pr merge <id> [merge|squash|rebase]"};
    }
    std::optional<int32_t> id = parse_leading_int32(args[1]);
    if (!id) return ArgError{"неверный id PR", args[1]};
    opts.id = *id;
    if (args.size() > 2) opts.method = args[2];
  } else {
    return ArgError{"неизвестная подкоманка pr: " + verb, "orrery pr list | create | merge"};
  }
  return opts;
}

PrResult do_pr(const std::string& token, const std::string& root, const PrOptions& opts) {
  PrResult result;
  result.action = opts.action;
  result.id = opts.id;
  result.method = opts.method;
  std::string error;
  switch (opts.action) {
    case PrAction::list:
      if (!hub_list_pull_requests(token, result.pulls, &error)) {
        throw hub_failure("не удалось получить список PR", error);
      }
      break;
    case PrAction::create:
      create_pull_request(token, root, opts, result);
      break;
    case PrAction::merge:
      if (!hub_merge_pull_request(token, opts.id, opts.method, &error)) {
        throw hub_failure("не удалось выполнить merge PR", error);
      }
      break;
  }
  return result;
}

void print_pr(const PrResult& result) {
  std::ostream& out = out_stream();
  switch (result.action) {
    case PrAction::list:
      for (const HubPullRequest& pull : result.pulls) {
        out << "#" << pull.id << " [" << printable_text(pull.state) << "] "
            << printable_text(pull.title);
        const std::string sha = pull.head_sha.value_or("");
        if (!sha.empty()) out << " (" << printable_text(sha.substr(0, 12)) << ")";
        out << "\n";
      }
      break;
    case PrAction::create:
      out << "Создан pull request #" << result.id << "\n";
      break;
    case PrAction::merge:
      out << "Pull request #" << result.id << " merged (" << result.method << ")\n";
      break;
  }
}

int cmd_pr(const Args& args) {
  if (args.empty() || has_help_flag(args)) return cmd_help({"pr"});
  std::optional<std::string> token = current_token();
  if (!token) {
    print_error("не выполнен вход в Orrery Hub", "запусти 'orrery login'");
    return 1;
  }
  Parsed<PrOptions> parsed = parse_pr_args(args);
  if (const ArgError* error = std::get_if<ArgError>(&parsed)) return report_arg_error(*error);
  const PrOptions& opts = std::get<PrOptions>(parsed);
  std::string root;
  if (opts.action == PrAction::create) {
    root = find_repo_root(".");
    if (!is_initialized(root)) {
      print_error("не найден репозиторий orrery", "запусти 'orrery init'");
      return 1;
    }
  }
  return report_command_error([&] {
    print_pr(do_pr(*token, root, opts));
    return 0;
  });
}
