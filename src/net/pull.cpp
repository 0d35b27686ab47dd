#include "net/pull.h"

#include <ostream>
#include <stdexcept>
#include <vector>

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

enum class Integration { merge, rebase, ff_only };

struct PullOptions {
  Integration integration = Integration::merge;
  std::vector<std::string> positionals;
};

// Reports its own failures; the help text of pull for a wrong count.
std::optional<PullOptions> parse_pull_args(const Args& args) {
  PullOptions opts;
  bool ff_only = false;
  bool rebase = false;
  for (const std::string& arg : args) {
    if (arg == "--ff-only") {
      ff_only = true;
    } else if (arg == "--rebase") {
      rebase = true;
    } else if (!arg.empty() && arg[0] == '-') {
      print_error("неизвестный флаг для pull: " + arg, "pull: см. orrery help pull");
      return std::nullopt;
    } else {
      opts.positionals.push_back(arg);
    }
  }
  if (ff_only && rebase) {
    print_error("нельзя одновременно --ff-only и --rebase", "выбери один режим интеграции");
    return std::nullopt;
  }
  if (opts.positionals.size() != 0 && opts.positionals.size() != 2) {
    cmd_help({"pull"});
    return std::nullopt;
  }
  if (ff_only) opts.integration = Integration::ff_only;
  if (rebase) opts.integration = Integration::rebase;
  return opts;
}

// The branch HEAD names; reports a detached or missing HEAD.
std::optional<std::string> current_branch(const Repository& repo) {
  constexpr std::string_view k_heads = "refs/heads/";
  std::optional<std::string> symref = head_symref(repo);
  if (!symref || symref->rfind(k_heads, 0) != 0) {
    print_error("HEAD не указывает на ветку (detached HEAD)", "сначала переключись на ветку");
    return std::nullopt;
  }
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

enum class Outcome { up_to_date, fast_forward, created, diverged };

// Compares the current branch with the fetched tracking reference, moving
// the branch itself for a fast-forward or creation.
Outcome classify(const Repository& repo, const std::string& current, const PullSource& source) {
  const std::string tracking = tracking_ref(source.remote, source.branch);
  std::optional<std::string> remote_id = read_ref(repo.root, tracking);
  if (!remote_id) throw std::runtime_error("Не найден remote ref: " + tracking);
  const std::string local_ref = "refs/heads/" + current;
  std::optional<std::string> local_id = read_ref(repo.root, local_ref);
  if (!local_id) {
    update_ref(repo, local_ref, *remote_id);
    return Outcome::created;
  }
  if (*local_id == *remote_id) return Outcome::up_to_date;
  if (!is_ancestor(repo, *local_id, *remote_id)) return Outcome::diverged;
  update_ref(repo, local_ref, *remote_id);
  return Outcome::fast_forward;
}

int integrate_diverged(Integration integration, const std::string& current,
                       const PullSource& source) {
  const std::string upstream = source.remote + "/" + source.branch;
  if (integration == Integration::ff_only) {
    print_error("pull --ff-only: история разошлась (нельзя fast-forward)",
                "используй pull (merge) или pull --rebase");
    return 1;
  }
  if (integration == Integration::rebase) return cmd_rebase({upstream});
  if (int merged = cmd_merge({upstream}); merged != 0) return merged;
  return cmd_checkout({current});
}

}  // namespace

int cmd_pull(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"pull"});
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  std::optional<PullOptions> opts = parse_pull_args(args);
  if (!opts) return 1;
  std::optional<std::string> current = current_branch(*repo);
  if (!current) return 1;

  const PullSource source = choose_source(load_config(*repo), *current, opts->positionals);
  // The names become paths below .orrery before fetch would check them.
  if (std::optional<SyncFailure> bad = check_tracking_names(source.remote, source.branch)) {
    return report_sync_failure(*bad);
  }
  if (int fetched = cmd_fetch(source.fetch_args); fetched != 0) return fetched;

  switch (classify(*repo, *current, source)) {
    case Outcome::up_to_date:
      out_stream() << "Уже актуально: " << *current << "\n";
      return 0;
    case Outcome::fast_forward:
    case Outcome::created:
      return cmd_checkout({*current});
    case Outcome::diverged:
      break;
  }
  return integrate_diverged(opts->integration, *current, source);
}
