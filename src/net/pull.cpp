#include "net/pull.h"

#include <functional>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "cli/command_error.h"
#include "cli/help.h"
#include "cli/open_repo.h"
#include "history/merge_cmd.h"
#include "history/rebase.h"
#include "net/fetch.h"
#include "net/internal/sync_target.h"
#include "store/refs.h"
#include "store/repo.h"
#include "store/revision.h"
#include "worktree/checkout.h"

namespace {

// The branch HEAD names; nothing for a detached or missing HEAD.
std::optional<std::string> current_branch(const Repository& repo) {
  constexpr std::string_view k_heads = "refs/heads/";
  std::optional<std::string> symref = head_symref(repo);
  if (!symref || symref->rfind(k_heads, 0) != 0) return std::nullopt;
  return symref->substr(k_heads.size());
}

// What is pulled: the tracking reference refs/remotes/<remote>/<branch> and
// the arguments fetch gets to fill it.
struct PullSource {
  std::string remote;
  std::string branch;
  Args fetch_args;
};

// The repository-level upstream first, the current branch's entry over it;
// two positionals replace both, a URL being filed under origin as fetch
// does.
PullSource choose_source(const RepoConfig& config, const std::string& current,
                         const std::vector<std::string>& positionals) {
  PullSource source;
  source.remote = config.upstream_remote.value_or("origin");
  source.branch = config.upstream_branch.value_or(current.empty() ? "main" : current);
  if (auto entry = config.branches.find(current); entry != config.branches.end()) {
    if (entry->second.upstream_remote) source.remote = *entry->second.upstream_remote;
    if (entry->second.upstream_branch) source.branch = *entry->second.upstream_branch;
  }
  if (positionals.empty()) {
    source.fetch_args = {source.remote, source.branch};
    return source;
  }
  source.fetch_args = positionals;
  source.branch = positionals[1];
  source.remote = config.remotes.count(positionals[0]) ? positionals[0] : "origin";
  return source;
}

// Compares the current branch with the fetched tracking reference, moving
// the branch itself for a fast-forward or creation.
PullOutcome classify(const Repository& repo, const std::string& current, const PullSource& source) {
  const std::string tracking = tracking_ref(source.remote, source.branch);
  std::optional<std::string> remote_id = read_ref(repo.root, tracking);
  if (!remote_id) throw std::runtime_error("Не найден remote ref: " + tracking);
  const std::string local_ref = "refs/heads/" + current;
  std::optional<std::string> local_id = read_ref(repo.root, local_ref);
  if (!local_id) {
    update_ref(repo, local_ref, *remote_id);
    return PullOutcome::created;
  }
  if (*local_id == *remote_id) return PullOutcome::up_to_date;
  if (!is_ancestor(repo, *local_id, *remote_id)) return PullOutcome::diverged;
  update_ref(repo, local_ref, *remote_id);
  return PullOutcome::fast_forward;
}

// Checks out the branch as `orrery checkout <branch>` would.
int check_out_branch(const Repository& repo, const std::string& branch) {
  Parsed<CheckoutOptions> opts = parse_checkout_args({branch});
  if (const ArgError* error = std::get_if<ArgError>(&opts)) return report_arg_error(*error);
  return print_checkout(do_checkout(repo, std::get<CheckoutOptions>(opts)));
}

// Merges the tracking branch as `orrery merge <remote>/<branch>` would.
int merge_upstream(const Repository& repo, const std::string& upstream) {
  Parsed<MergeOptions> opts = parse_merge_args({upstream});
  if (const ArgError* error = std::get_if<ArgError>(&opts)) return report_arg_error(*error);
  return print_merge(do_merge(repo, std::get<MergeOptions>(opts)));
}

}  // namespace

Parsed<PullOptions> parse_pull_args(const Args& args) {
  PullOptions opts;
  bool ff_only = false;
  bool rebase = false;
  for (const std::string& arg : args) {
    if (arg == "--ff-only") {
      ff_only = true;
    } else if (arg == "--rebase") {
      rebase = true;
    } else if (!arg.empty() && arg[0] == '-') {
      return ArgError{"неизвестный флаг для pull: " + arg, "pull: см. orrery help pull"};
    } else {
      opts.positionals.push_back(arg);
    }
  }
  if (ff_only && rebase) {
    return ArgError{"нельзя одновременно --ff-only и --rebase", "выбери один режим интеграции"};
  }
  if (opts.positionals.size() != 0 && opts.positionals.size() != 2) {
    return help_error("pull");
  }
  if (ff_only) opts.integration = Integration::ff_only;
  if (rebase) opts.integration = Integration::rebase;
  return opts;
}

PullResult do_pull(const Repository& repo, const PullOptions& opts, Progress& progress,
                   const std::function<void(const FetchResult&)>& fetched) {
  std::optional<std::string> current = current_branch(repo);
  if (!current) {
    throw CommandError("HEAD не указывает на ветку (detached HEAD)",
                       "сначала переключись на ветку");
  }
  PullResult result;
  result.branch = *current;
  const PullSource source = choose_source(load_config(repo), *current, opts.positionals);
  // The names become paths below .orrery before fetch would check them.
  if (std::optional<ArgError> bad = check_tracking_names(source.remote, source.branch)) {
    throw CommandError(std::move(*bad));
  }
  result.upstream = source.remote + "/" + source.branch;
  fetched(do_fetch(repo, FetchOptions{source.fetch_args}, progress));
  result.outcome = classify(repo, *current, source);
  if (result.outcome == PullOutcome::diverged && opts.integration == Integration::ff_only) {
    throw CommandError("pull --ff-only: история разошлась (нельзя fast-forward)",
                       "используй pull (merge) или pull --rebase");
  }
  return result;
}

void print_pull(const PullResult& result) {
  if (result.outcome == PullOutcome::up_to_date) {
    out_stream() << "Уже актуально: " << result.branch << "\n";
  }
}

int integrate_pull(const Repository& repo, const PullResult& result, Integration integration) {
  switch (result.outcome) {
    case PullOutcome::up_to_date:
      return 0;
    case PullOutcome::fast_forward:
    case PullOutcome::created:
      return check_out_branch(repo, result.branch);
    case PullOutcome::diverged:
      break;
  }
  if (integration == Integration::rebase) {
    return print_rebase(do_rebase(repo, {.upstream = result.upstream}, out_stream()));
  }
  if (int merged = merge_upstream(repo, result.upstream); merged != 0) return merged;
  return check_out_branch(repo, result.branch);
}

int cmd_pull(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"pull"});
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  Parsed<PullOptions> opts = parse_pull_args(args);
  if (const ArgError* error = std::get_if<ArgError>(&opts)) return report_arg_error(*error);
  return report_command_error([&] {
    const PullOptions& options = std::get<PullOptions>(opts);
    PullResult result;
    {
      Progress progress("Получение объектов");
      result = do_pull(*repo, options, progress, print_fetch);
    }
    print_pull(result);
    return integrate_pull(*repo, result, options.integration);
  });
}
