#include "worktree/branch.h"

#include <iostream>
#include <vector>

#include "cli/help.h"
#include "cli/open_repo.h"
#include "store/config.h"
#include "store/fs.h"
#include "store/refs.h"
#include "store/repo.h"
#include "store/revision.h"

namespace {

constexpr std::string_view k_upstream_example = "пример: orrery branch -u origin/main";

struct BranchOptions {
  bool verbose = false;
  std::optional<std::string> upstream;
  std::vector<std::string> positional;
};

// Reports a missing remote/branch argument itself and answers nothing.
std::optional<BranchOptions> parse_branch_args(const Args& args) {
  BranchOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-vv") {
      options.verbose = true;
    } else if (arg.rfind("--set-upstream-to=", 0) == 0) {
      options.upstream = arg.substr(18);
    } else if (arg == "--set-upstream-to" || arg == "-u") {
      if (i + 1 == args.size()) {
        print_error("ожидается remote/ветка после '" + arg + "'", k_upstream_example);
        return std::nullopt;
      }
      options.upstream = args[++i];
    } else {
      options.positional.push_back(arg);
    }
  }
  return options;
}

std::string marker(const std::optional<std::string>& head_ref, const std::string& name) {
  return head_ref == "refs/heads/" + name ? "* " : "  ";
}

void print_plain_listing(const Repository& repo) {
  std::optional<std::string> head_ref = head_symref(repo);
  std::ostream& out = out_stream();
  for (const auto& [name, id] : list_branches(repo)) out << marker(head_ref, name) << name << "\n";
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

void print_verbose_listing(const Repository& repo) {
  std::optional<std::string> head_ref = head_symref(repo);
  RepoConfig config = load_config(repo);
  std::ostream& out = out_stream();
  for (const auto& [name, id] : list_branches(repo)) {
    out << marker(head_ref, name) << name << " " << id.substr(0, 7);
    auto found = config.branches.find(name);
    if (found != config.branches.end() && found->second.upstream_remote &&
        found->second.upstream_branch) {
      const std::string label =
          *found->second.upstream_remote + "/" + *found->second.upstream_branch;
      out << " [" << label;
      out << upstream_state(repo, id, "refs/remotes/" + label);
      out << "]";
    }
    out << "\n";
  }
}

int create_branch(const Repository& repo, const std::string& name) {
  if (!is_valid_ref_name(name)) {
    print_error("недопустимое имя ветки: " + name);
    return 1;
  }
  std::optional<ObjectId> head = head_commit(repo);
  if (!head) {
    print_error("нет коммитов", "сначала сделай первый коммит");
    return 1;
  }
  update_ref(repo, "refs/heads/" + name, *head);
  out_stream() << "Создана ветка " << name << "\n";
  return 0;
}

int delete_branch(const Repository& repo, const std::string& name) {
  if (!is_valid_ref_name(name) || delete_ref(repo, "refs/heads/" + name) != RefDeletion::deleted) {
    out_stream().flush();
    std::cerr << "Ветка не найдена: " << name << "\n";
    return 1;
  }
  out_stream() << "Deleted branch " << name << "\n";
  return 0;
}

int set_upstream(const Repository& repo, const BranchOptions& options) {
  if (options.verbose) {
    print_error("нельзя совмещать -vv с --set-upstream-to");
    return 1;
  }
  // Both halves become a reference name and configuration text: nothing
  // that could leave refs/remotes or start a line of its own.
  auto parts = parse_upstream_name(*options.upstream);
  if (!parts || !is_valid_ref_name(parts->first) || !is_valid_ref_name(parts->second)) {
    print_error("неверная upstream-спека: " + *options.upstream, k_upstream_example);
    return 1;
  }
  if (options.positional.size() > 1) {
    print_error("слишком много аргументов для branch --set-upstream-to");
    return 1;
  }
  std::string target;
  if (!options.positional.empty()) {
    target = options.positional.front();
  } else if (auto head_ref = head_symref(repo);
             head_ref && head_ref->rfind("refs/heads/", 0) == 0) {
    target = head_ref->substr(11);
  } else {
    print_error("HEAD не на ветке",
                "переключись на ветку или укажи имя: orrery branch -u origin/main <ветка>");
    return 1;
  }
  if (!is_valid_ref_name(target)) {
    print_error("недопустимое имя ветки: " + target);
    return 1;
  }
  RepoConfig config = load_config(repo);
  config.branches[target].upstream_remote = parts->first;
  config.branches[target].upstream_branch = parts->second;
  save_config(repo, config);
  out_stream() << "Ветка " << target << " отслеживает " << parts->first << "/" << parts->second
               << "\n";
  return 0;
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

int cmd_branch(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"branch"});

  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;

  if (args.empty()) {
    print_plain_listing(*repo);
    return 0;
  }
  if (args.front() == "-d" && args.size() >= 2) return delete_branch(*repo, args[1]);

  std::optional<BranchOptions> options = parse_branch_args(args);
  if (!options) return 1;
  if (options->upstream) return set_upstream(*repo, *options);
  if (options->verbose && !options->positional.empty()) {
    print_error("лишние аргументы вместе с -vv");
    return 1;
  }
  if (options->verbose || options->positional.empty()) {
    print_verbose_listing(*repo);
    return 0;
  }
  if (options->positional.size() == 1) return create_branch(*repo, options->positional.front());
  cmd_help({"branch"});
  return 1;
}
