#include "history/cherry_pick.h"

#include <ostream>

#include "cli/command_error.h"
#include "cli/help.h"
#include "cli/open_repo.h"
#include "history/internal/command_steps.h"
#include "store/refs.h"
#include "store/repo.h"
#include "store/revision.h"

namespace {

std::string command_name(PickKind kind) {
  return kind == PickKind::cherry_pick ? "cherry-pick" : "revert";
}

int run_pick(const Args& args, PickKind kind) {
  if (has_help_flag(args)) return cmd_help({command_name(kind)});
  Parsed<PickOptions> parsed = parse_pick_args(args, kind);
  if (const ArgError* error = std::get_if<ArgError>(&parsed)) return report_arg_error(*error);
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  return report_command_error(
      [&] { return print_pick(do_pick(*repo, std::get<PickOptions>(parsed))); });
}

}  // namespace

Parsed<PickOptions> parse_pick_args(const Args& args, PickKind kind) {
  if (args.size() != 1) return help_error(command_name(kind));
  return PickOptions{kind, args.front()};
}

PickCommandResult do_pick(const Repository& repo, const PickOptions& opts) {
  // Held to the end: the command reads, changes and writes back the index
  // and the branch, and a concurrent writer would lose its change or ours.
  RepoLock lock(repo.root);
  std::optional<std::string> branch = current_branch(repo);
  if (!branch) {
    throw CommandError("HEAD не указывает на ветку (detached HEAD)",
                       "сначала переключись на ветку");
  }
  std::optional<ObjectId> picked = resolve_revision(repo, opts.revision);
  if (!picked) throw CommandError("не удалось разрешить ревизию: " + opts.revision, "");
  ObjectWriteBatch batch(repo.objects);
  WorkingState state = load_working_state(repo);
  PickResult pick = pick_commit(repo, *picked, opts.kind, state);
  PickCommandResult result{opts.kind, std::move(pick.conflicts), {}, {}};
  if (!result.conflicts.empty()) return result;
  if (!pick.commit) throw CommandError("не удалось выполнить " + command_name(opts.kind), "");
  update_ref(repo, *branch, *pick.commit);
  result.switched = check_out_pick(repo, *branch, pick, state);
  result.commit = *pick.commit;
  return result;
}

int print_pick(const PickCommandResult& result) {
  const std::string name = command_name(result.kind);
  if (!result.conflicts.empty()) {
    print_error(name + " завершился конфликтами",
                "разреши конфликты, затем запусти 'orrery add ...' и 'orrery commit -m \"...\"'");
    print_conflict_lines(result.conflicts);
    return 1;
  }
  out_stream() << result.switched << "\n" << name << ": создан коммит " << result.commit << "\n";
  return 0;
}

int cmd_cherry_pick(const Args& args) { return run_pick(args, PickKind::cherry_pick); }

int cmd_revert(const Args& args) { return run_pick(args, PickKind::revert); }
