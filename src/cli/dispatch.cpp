#include "cli/dispatch.h"

#include <exception>
#include <string_view>

#include "cli/help.h"
#include "cli/init_cmd.h"
#include "diff/diff_cmd.h"
#include "diff/show_cmd.h"
#include "history/cherry_pick.h"
#include "history/merge_cmd.h"
#include "history/rebase.h"
#include "history/stash.h"
#include "hub/hub_cmd.h"
#include "hub/login.h"
#include "hub/pr_cmd.h"
#include "net/clone.h"
#include "net/fetch.h"
#include "net/pull.h"
#include "net/push.h"
#include "net/remote.h"
#include "pack/pack_cmd.h"
#include "store/errors.h"
#include "tools/archive.h"
#include "tools/bisect.h"
#include "tools/blame.h"
#include "tools/clean.h"
#include "tools/config_cmd.h"
#include "tools/describe.h"
#include "tools/grep.h"
#include "tools/reflog.h"
#include "uninstall/uninstall.h"
#include "worktree/add.h"
#include "worktree/branch.h"
#include "worktree/checkout.h"
#include "worktree/commit.h"
#include "worktree/log.h"
#include "worktree/reset.h"
#include "worktree/restore.h"
#include "worktree/rm_mv.h"
#include "worktree/status.h"
#include "worktree/tag.h"

namespace {

struct CommandRow {
  std::string_view name;
  int (*handler)(const Args&);
};

// Searched in order; names match exactly. A command appears here only once
// its handler exists. One row per line keeps merges of new rows trivial.
// clang-format off
constexpr CommandRow k_commands[] = {
    {"help", cmd_help},
    {"init", cmd_init},
    {"pack", cmd_pack},
    {"gc", cmd_gc},
    {"add", cmd_add},
    {"commit", cmd_commit},
    {"status", cmd_status},
    {"reflog", cmd_reflog},
    {"archive", cmd_archive},
    {"describe", cmd_describe},
    {"diff", cmd_diff},
    {"show", cmd_show},
    {"checkout", cmd_checkout},
    {"switch", cmd_switch},
    {"branch", cmd_branch},
    {"log", cmd_log},
    {"reset", cmd_reset},
    {"restore", cmd_restore},
    {"rm", cmd_rm},
    {"mv", cmd_mv},
    {"tag", cmd_tag},
    {"bisect", cmd_bisect},
    {"blame", cmd_blame},
    {"grep", cmd_grep},
    {"clean", cmd_clean},
    {"config", cmd_config},
    {"stash", cmd_stash},
    {"merge", cmd_merge},
    {"cherry-pick", cmd_cherry_pick},
    {"revert", cmd_revert},
    {"rebase", cmd_rebase},
    {"fetch", cmd_fetch},
    {"push", cmd_push},
    {"pull", cmd_pull},
    {"clone", cmd_clone},
    {"remote", cmd_remote},
    {"login", cmd_login},
    {"logout", cmd_logout},
    {"hub", cmd_hub},
    {"pr", cmd_pr},
    {"uninstall", cmd_uninstall},
};
// clang-format on

constexpr std::string_view k_help_hint = "запусти 'orrery help', чтобы увидеть список команд";
constexpr std::string_view k_damage_hint =
    "репозиторий повреждён: восстанови названный файл из резервной копии или клона";

}  // namespace

std::vector<std::string_view> command_names() {
  std::vector<std::string_view> names;
  for (const CommandRow& row : k_commands) names.push_back(row.name);
  return names;
}

int dispatch_command(const Args& args) {
  if (args.empty()) return cmd_help({});

  const std::string& name = args.front();
  const Args rest(args.begin() + 1, args.end());
  for (const CommandRow& row : k_commands) {
    if (row.name != name) continue;
    try {
      return row.handler(rest);
    } catch (const RepositoryDamaged& e) {
      print_error(e.what(), k_damage_hint);
      return 1;
    } catch (const AmbiguousShortId& e) {
      print_error("короткий идентификатор " + e.prefix() + " неоднозначен",
                  "укажи больше символов идентификатора");
      return 1;
    } catch (const RepositoryLocked& e) {
      print_error(e.what(),
                  "если ни один процесс orrery не работает, удали каталог " + e.lock_path());
      return 1;
    } catch (const std::exception& e) {
      print_error(e.what(), k_help_hint);
      return 1;
    }
  }
  print_error("неизвестная команда '" + name + "'", k_help_hint);
  return 1;
}
