#include "history/cherry_pick.h"

#include <ostream>

#include "cli/help.h"
#include "cli/open_repo.h"
#include "history/internal/command_steps.h"
#include "history/pick.h"
#include "store/refs.h"
#include "store/repo.h"
#include "store/revision.h"

namespace {

std::string_view command_name(PickKind kind) {
  return kind == PickKind::cherry_pick ? "cherry-pick" : "revert";
}

int report_pick_failure(const PickResult& result, PickKind kind) {
  const std::string name(command_name(kind));
  if (!result.conflicts.empty()) {
    print_error(name + " завершился конфликтами",
                "разреши конфликты, затем запусти 'orrery add ...' и 'orrery commit -m \"...\"'");
    print_conflict_lines(result.conflicts);
  } else {
    print_error("не удалось выполнить " + name);
  }
  return 1;
}

int run_pick(const Args& args, PickKind kind) {
  const std::string name(command_name(kind));
  if (args.size() != 1 || has_help_flag(args)) {
    const bool help = has_help_flag(args);
    cmd_help({name});
    return help ? 0 : 1;
  }
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  // Held to the end: the command reads, changes and writes back the index
  // and the branch, and a concurrent writer would lose its change or ours.
  RepoLock lock(repo->root);
  std::optional<std::string> branch = current_branch(*repo);
  if (!branch) {
    print_error("HEAD не указывает на ветку (detached HEAD)", "сначала переключись на ветку");
    return 1;
  }
  std::optional<ObjectId> picked = resolve_revision(*repo, args.front());
  if (!picked) {
    print_error("не удалось разрешить ревизию: " + args.front());
    return 1;
  }
  ObjectWriteBatch batch(repo->objects);
  WorkingState state = load_working_state(*repo);
  PickResult result = pick_commit(*repo, *picked, kind, state);
  if (!result.commit) return report_pick_failure(result, kind);
  update_ref(*repo, *branch, *result.commit);
  if (int code = check_out_pick(*repo, *branch, result, state); code != 0) return code;
  out_stream() << name << ": создан коммит " << *result.commit << "\n";
  return 0;
}

}  // namespace

int cmd_cherry_pick(const Args& args) { return run_pick(args, PickKind::cherry_pick); }

int cmd_revert(const Args& args) { return run_pick(args, PickKind::revert); }
