#include "worktree/branch.h"

#include <iostream>
#include <vector>

#include "cli/command_error.h"
#include "cli/help.h"
#include "cli/open_repo.h"
#include "store/config.h"
#include "store/fs.h"
#include "store/refs.h"
#include "store/repo.h"
#include "store/revision.h"

namespace {

constexpr std::string_view k_upstream_example = "пример: orrery branch -u origin/main";

std::optional<ArgError> check_upstream_args(const BranchOptions& options) {
  if (options.verbose) return ArgError{"нельзя совмещать -vv с --set-upstream-to", ""};
  // Both halves become a reference name and configuration text: nothing
  // that could leave refs/remotes or start a line of its own.
  auto parts = parse_upstream_name(*options.upstream);
  if (!parts || !is_valid_ref_name(parts->first) || !is_valid_ref_name(parts->second)) {
    return ArgError{"неверная upstream-спека: " + *options.upstream,
                    std::string(k_upstream_example)};
  }
  if (options.positional.size() > 1) {
    return ArgError{"слишком много аргументов для branch --set-upstream-to", ""};
  }
  return std::nullopt;
}

std::string upstream_state(const Repository& repo, const std::string& branch_id,
                           const std::string& tracking_ref) {
  std::optional<std::string> tracking = read_ref(repo.root, tracking_ref);
  if (!tracking) return {};
  std::optional<uint32_t> ahead = first_parent_distance(repo, branch_id, *tracking);
  std::optional<uint32_t> behind = first_parent_distance(repo, *tracking, branch_id);
  if (!ahead && !behind) return ": ?";
  return ": ahead " + std::to_string(ahead.value_or(0)) + ", behind " +
         std::to_string(behind.value_or(0));
}

BranchResult list_branches_of(const Repository& repo, bool verbose) {
  BranchResult result;
  std::optional<std::string> head_ref = head_symref(repo);
  std::optional<RepoConfig> config;
  if (verbose) config = load_config(repo);
  for (auto& [name, id] : list_branches(repo)) {
    BranchEntry entry{head_ref == "refs/heads/" + name, name, id, {}, {}};
    if (config) {
      auto found = config->branches.find(name);
      if (found != config->branches.end() && found->second.upstream_remote &&
          found->second.upstream_branch) {
        entry.upstream = *found->second.upstream_remote + "/" + *found->second.upstream_branch;
        entry.upstream_state = upstream_state(repo, id, "refs/remotes/" + *entry.upstream);
      }
    }
    result.listing.push_back(std::move(entry));
  }
  return result;
}

BranchResult done(std::string line) { return {{}, std::move(line), {}}; }

BranchResult create_branch(const Repository& repo, const std::string& name) {
  std::optional<ObjectId> head = head_commit(repo);
  if (!head) throw CommandError("нет коммитов", "сначала сделай первый коммит");
  update_ref(repo, "refs/heads/" + name, *head);
  return done("Создана ветка " + name);
}

BranchResult delete_branch(const Repository& repo, const std::string& name) {
  if (!is_valid_ref_name(name) || delete_ref(repo, "refs/heads/" + name) != RefDeletion::deleted) {
    return {{}, {}, "Ветка не найдена: " + name};
  }
  return done("Deleted branch " + name);
}

BranchResult set_upstream(const Repository& repo, const BranchOptions& options) {
  auto parts = parse_upstream_name(*options.upstream);
  std::string target;
  if (!options.positional.empty()) {
    target = options.positional.front();
  } else if (auto head_ref = head_symref(repo);
             head_ref && head_ref->rfind("refs/heads/", 0) == 0) {
    target = head_ref->substr(11);
  } else {
    throw CommandError("HEAD не на ветке",
                       "переключись на ветку или укажи имя: orrery branch -u origin/main <ветка>");
  }
  if (!is_valid_ref_name(target)) throw CommandError("недопустимое имя ветки: " + target, "");
  RepoConfig config = load_config(repo);
  config.branches[target].upstream_remote = parts->first;
  config.branches[target].upstream_branch = parts->second;
  save_config(repo, config);
  return done("Ветка " + target + " отслеживает " + parts->first + "/" + parts->second);
}

}  // namespace

std::optional<std::pair<std::string, std::string>> parse_upstream_name(std::string_view text) {
  size_t slash = text.find('/');
  if (slash == std::string_view::npos || slash == 0 || slash + 1 == text.size()) {
    return std::nullopt;
  }
  return std::make_pair(std::string(text.substr(0, slash)), std::string(text.substr(slash + 1)));
}

bool is_valid_ref_name(std::string_view name) {
  return is_safe_relpath(name) && is_valid_reference("refs/heads/" + std::string(name));
}

Parsed<BranchOptions> parse_branch_args(const Args& args) {
  BranchOptions options;
  if (args.empty()) return options;
  if (args.front() == "-d" && args.size() >= 2) {
    options.action = BranchOptions::Action::remove;
    options.positional = {args[1]};
    return options;
  }
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-vv") {
      options.verbose = true;
    } else if (arg.rfind("--set-upstream-to=", 0) == 0) {
      options.upstream = arg.substr(18);
    } else if (arg == "--set-upstream-to" || arg == "-u") {
      if (i + 1 == args.size()) {
        return ArgError{"ожидается remote/ветка после '" + arg + "'",
                        std::string(k_upstream_example)};
      }
      options.upstream = args[++i];
    } else {
      options.positional.push_back(arg);
    }
  }
  if (options.upstream) {
    if (std::optional<ArgError> error = check_upstream_args(options)) return *error;
    options.action = BranchOptions::Action::set_upstream;
  } else if (options.verbose && !options.positional.empty()) {
    return ArgError{"лишние аргументы вместе с -vv", ""};
  } else if (options.verbose || options.positional.empty()) {
    options.action = BranchOptions::Action::list_verbose;
  } else if (options.positional.size() == 1) {
    if (!is_valid_ref_name(options.positional.front())) {
      return ArgError{"недопустимое имя ветки: " + options.positional.front(), ""};
    }
    options.action = BranchOptions::Action::create;
  } else {
    return help_error("branch");
  }
  return options;
}

BranchResult do_branch(const Repository& repo, const BranchOptions& options) {
  switch (options.action) {
    case BranchOptions::Action::list:
      return list_branches_of(repo, false);
    case BranchOptions::Action::list_verbose:
      return list_branches_of(repo, true);
    case BranchOptions::Action::remove:
      return delete_branch(repo, options.positional.front());
    case BranchOptions::Action::create:
      return create_branch(repo, options.positional.front());
    case BranchOptions::Action::set_upstream:
      return set_upstream(repo, options);
  }
  return {};
}

int print_branch(const BranchResult& result, bool verbose) {
  std::ostream& out = out_stream();
  if (!result.not_found.empty()) {
    out.flush();
    std::cerr << result.not_found << "\n";
    return 1;
  }
  for (const BranchEntry& entry : result.listing) {
    out << (entry.current ? "* " : "  ") << entry.name;
    if (verbose) {
      out << " " << entry.id.substr(0, 7);
      if (entry.upstream) out << " [" << *entry.upstream << entry.upstream_state << "]";
    }
    out << "\n";
  }
  if (!result.done.empty()) out << result.done << "\n";
  return 0;
}

int cmd_branch(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"branch"});
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  Parsed<BranchOptions> parsed = parse_branch_args(args);
  if (auto* error = std::get_if<ArgError>(&parsed)) return report_arg_error(*error);
  const BranchOptions& options = std::get<BranchOptions>(parsed);
  return report_command_error([&] {
    return print_branch(do_branch(*repo, options),
                        options.action == BranchOptions::Action::list_verbose);
  });
}
