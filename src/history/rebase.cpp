#include "history/rebase.h"

#include <algorithm>
#include <ctime>
#include <functional>
#include <ostream>
#include <unordered_set>

#include "cli/command_error.h"
#include "cli/help.h"
#include "cli/open_repo.h"
#include "history/internal/command_steps.h"
#include "history/internal/quiet_read.h"
#include "history/internal/rebase_state.h"
#include "history/merge_base.h"
#include "history/pick.h"
#include "store/fs.h"
#include "store/refs.h"
#include "store/repo.h"
#include "store/revision.h"
#include "worktree/commit.h"
#include "worktree/tree_builder.h"

// Every step writes its objects before the reference or state file that
// names them, and records in rebase-merge/pending what it is about to do, so
// a process killed between any two writes leaves a state that --continue
// finishes (redoing or completing the step) and --abort undoes.

namespace {

constexpr std::string_view k_same_branch_hint = "переключись обратно на ветку, которую переезжаешь";

void move_branch(const Repository& repo, const std::string& branch, const ObjectId& commit,
                 std::string_view move_error) {
  try {
    update_ref(repo, branch, commit);
  } catch (const std::runtime_error&) {
    throw CommandError(std::string(move_error), "");
  }
}

PathMap commit_files(const Repository& repo, const ObjectId& commit) {
  PathMap files;
  if (std::optional<ObjectId> tree = readable_commit_tree(repo.objects, commit)) {
    flatten_tree(repo.objects, *tree, "", files);
  }
  return files;
}

// Moves the branch to the commit made for the first todo entry, checks it
// out and drops the entry. The entry is dropped only if it is still first:
// a process killed after dropping it left that done.
void complete_step(const Repository& repo, const std::string& branch, const ObjectId& entry,
                   const ObjectId& made, std::string_view move_error,
                   const std::function<std::string()>& check_out, std::ostream& out) {
  write_pending_step(repo, {PendingStep::pick, entry, made});
  move_branch(repo, branch, made, move_error);
  out << check_out() << "\n";
  std::vector<ObjectId> todo = read_todo(repo);
  if (!todo.empty() && todo.front() == entry) {
    todo.erase(todo.begin());
    write_todo(repo, todo);
  }
}

// complete_step for a commit not made by a pick in this process.
void complete_made_step(const Repository& repo, const std::string& branch, const ObjectId& entry,
                        const ObjectId& made, std::ostream& out) {
  complete_step(
      repo, branch, entry, made, "не удалось обновить ref при rebase --continue",
      [&] { return check_out_and_index(repo, branch, commit_files(repo, made)); }, out);
}

// The last checkout writes nothing when this process made the working tree
// and the index hold the branch's commit: its line is all that is left.
RebaseResult finish_rebase(const Repository& repo, const std::string& branch,
                           const WorkingState& state, std::ostream& out) {
  if (state.trusted && state.head && state.head == head_commit(repo)) {
    out << switched_line(branch) << "\n";
  } else {
    out << check_out_branch(repo, branch) << "\n";
  }
  remove_rebase_state(repo);
  return {RebaseStatus::done, {}, {}};
}

RebaseResult replay(const Repository& repo, const std::string& branch, std::ostream& out) {
  WorkingState state = load_working_state(repo);
  for (std::vector<ObjectId> todo = read_todo(repo); !todo.empty(); todo = read_todo(repo)) {
    const ObjectId entry = todo.front();
    write_pending_step(repo, {PendingStep::pick, entry, {}});
    ObjectWriteBatch batch(repo.objects);
    PickResult result = pick_commit(repo, entry, PickKind::cherry_pick, state);
    if (!result.commit) {
      clear_pending_step(repo);
      return {RebaseStatus::conflicts, entry, std::move(result.conflicts)};
    }
    flush_pending_objects();
    complete_step(
        repo, branch, entry, *result.commit, "не удалось обновить ref при rebase",
        [&] { return check_out_pick(repo, branch, result, state); }, out);
  }
  return finish_rebase(repo, branch, state, out);
}

// The commits from HEAD back to the merge base along first parents, oldest
// first; nothing when a commit on the way is unreadable or has no parent.
std::optional<std::vector<ObjectId>> commits_to_replay(const Repository& repo, ObjectId commit,
                                                       const ObjectId& base) {
  std::vector<ObjectId> chain;
  std::unordered_set<ObjectId> seen;
  while (commit != base) {
    std::optional<Commit> parsed = read_commit_quietly(repo.objects, commit);
    if (!parsed || parsed->parents.empty() || !seen.insert(commit).second) return std::nullopt;
    chain.push_back(commit);
    commit = parsed->parents.front();
  }
  std::reverse(chain.begin(), chain.end());
  return chain;
}

// The branch and the commits to replay onto the upstream; nothing when
// HEAD is already there.
struct RebasePlan {
  std::string branch;
  ObjectId upstream;
  ObjectId head;
  std::vector<ObjectId> todo;
};

std::optional<RebasePlan> plan_rebase(const Repository& repo, const std::string& argument) {
  if (is_rebase_in_progress(repo)) {
    throw CommandError("rebase уже выполняется",
                       "orrery rebase --continue или orrery rebase --abort");
  }
  std::optional<std::string> branch = current_branch(repo);
  if (!branch) {
    throw CommandError("HEAD не указывает на ветку (detached HEAD)",
                       "сначала переключись на ветку");
  }
  std::optional<ObjectId> upstream = resolve_revision(repo, argument);
  if (!upstream || !is_commit(repo.objects, *upstream)) {
    throw CommandError("не удалось разрешить апстрим: " + argument, "");
  }
  std::optional<ObjectId> head = head_commit(repo);
  if (!head) throw CommandError("нет коммитов", "сначала сделай первый коммит");
  if (*head == *upstream) return std::nullopt;
  std::optional<ObjectId> base = merge_base(repo, *head, *upstream);
  if (!base) throw CommandError("не удалось найти общий ancestor для rebase", "");
  std::optional<std::vector<ObjectId>> todo = commits_to_replay(repo, *head, *base);
  if (!todo) {
    throw CommandError("нет первого родителя от HEAD до merge-base по первому родителю",
                       "слияния с несколькими родителями rebase упрощённо");
  }
  if (todo->empty()) return std::nullopt;
  return RebasePlan{*branch, *upstream, *head, std::move(*todo)};
}

RebaseResult start_rebase(const Repository& repo, const std::string& argument, std::ostream& out) {
  std::optional<RebasePlan> plan = plan_rebase(repo, argument);
  if (!plan) return {RebaseStatus::up_to_date, {}, {}};
  const std::string& branch = plan->branch;
  write_rebase_start(repo, {branch, plan->upstream, plan->head, plan->todo});
  update_ref(repo, branch, plan->upstream);
  try {
    out << check_out_branch(repo, branch) << "\n";
  } catch (const CommandError&) {
    // The working tree still holds the old branch: so must the branch.
    update_ref(repo, branch, plan->head);
    remove_rebase_state(repo);
    throw;
  }
  return replay(repo, branch, out);
}

// head-name, when it names a branch and HEAD is on it; throws CommandError
// otherwise.
std::string rebased_branch(const Repository& repo, std::string_view damaged,
                           std::string_view damaged_hint) {
  std::optional<std::string> name = read_rebase_file(repo, "head-name");
  if (!name || !name->starts_with("refs/heads/") || !is_safe_relpath(*name)) {
    throw CommandError(std::string(damaged), std::string(damaged_hint));
  }
  if (head_symref(repo) != name) {
    throw CommandError("HEAD не совпадает с rebase-merge/head-name",
                       std::string(k_same_branch_hint));
  }
  return *name;
}

// Finishes the step a killed process was in.
void resume_pending_step(const Repository& repo, const std::string& branch, const PendingStep& step,
                         std::ostream& out) {
  if (step.kind == PendingStep::start) {
    if (!is_commit(repo.objects, step.commit)) return;
    update_ref(repo, branch, step.commit);
    out << check_out_branch(repo, branch) << "\n";
    return;
  }
  if (step.made.empty() || !is_commit(repo.objects, step.made)) return;
  complete_made_step(repo, branch, step.commit, step.made, out);
}

// The commit of the index for the first todo entry, as its pick would be.
std::optional<ObjectId> commit_index(const Repository& repo, const ObjectId& entry) {
  std::optional<Commit> picked = read_commit_quietly(repo.objects, entry);
  if (!picked) return std::nullopt;
  PathMap files;
  for (const auto& [path, item] : load_index(repo))
    files.emplace_hint(files.end(), path, item.hash);
  Commit commit;
  commit.tree = build_tree(repo.objects, files, "");
  if (std::optional<ObjectId> head = head_commit(repo)) commit.parents.push_back(*head);
  commit.author = environment_author();
  commit.message = pick_message(PickKind::cherry_pick, entry, picked->message);
  commit.timestamp = static_cast<uint64_t>(std::time(nullptr));
  return write_object(repo.objects, "commit", serialize_commit(commit));
}

RebaseResult continue_rebase(const Repository& repo, std::ostream& out) {
  if (!is_rebase_in_progress(repo)) {
    throw CommandError("rebase --continue: нет незавершённого rebase", "");
  }
  const std::string branch = rebased_branch(repo, "повреждёно состояние rebase (head-name)", "");
  if (std::optional<PendingStep> step = read_pending_step(repo)) {
    resume_pending_step(repo, branch, *step, out);
    return replay(repo, branch, out);
  }
  std::vector<ObjectId> todo = read_todo(repo);
  if (todo.empty()) throw CommandError("rebase --continue: пустой todo", "");
  std::optional<ObjectId> made = commit_index(repo, todo.front());
  if (!made) {
    throw CommandError("rebase --continue: не удалось собрать коммит из индекса",
                       "проверь, что конфликты разрешены и нужные пути в индексе (orrery add …)");
  }
  complete_made_step(repo, branch, todo.front(), *made, out);
  return replay(repo, branch, out);
}

Index saved_index(const Repository& repo) {
  std::optional<std::string> text = read_rebase_file(repo, "orig-index");
  try {
    if (text && !text->empty()) return parse_index(*text);
  } catch (const std::exception&) {
    // A damaged copy only costs the entries their recorded stat.
  }
  return {};
}

RebaseResult abort_rebase(const Repository& repo) {
  if (!is_rebase_in_progress(repo)) {
    throw CommandError("rebase --abort: нет незавершённого rebase",
                       "нет каталога .orrery/rebase-merge");
  }
  constexpr std::string_view k_damaged = "повреждёно состояние rebase";
  constexpr std::string_view k_damaged_hint =
      "удали .orrery/rebase-merge вручную при необходимости";
  std::optional<std::string> orig = read_rebase_file(repo, "orig-head");
  if (!orig || !is_commit(repo.objects, *orig)) {
    throw CommandError(std::string(k_damaged), std::string(k_damaged_hint));
  }
  const std::string branch = rebased_branch(repo, k_damaged, k_damaged_hint);
  update_ref(repo, branch, *orig);
  hard_reset_to(repo, *orig);
  keep_index_stats(repo, saved_index(repo));
  remove_rebase_state(repo);
  return {RebaseStatus::aborted, {}, {}};
}

}  // namespace

Parsed<RebaseOptions> parse_rebase_args(const Args& args) {
  RebaseOptions options;
  std::vector<std::string> positional;
  for (const std::string& arg : args) {
    if (arg == "--abort") {
      options.abort = true;
    } else if (arg == "--continue") {
      options.resume = true;
    } else if (!arg.empty() && arg.front() == '-') {
      return ArgError{"неизвестный флаг для rebase: " + arg,
                      "orrery rebase [--abort|--continue] | orrery rebase <upstream>"};
    } else {
      positional.push_back(arg);
    }
  }
  if (options.abort && options.resume) {
    return ArgError{"нельзя одновременно --abort и --continue", "выбери один вариант"};
  }
  if ((options.abort || options.resume) && !positional.empty()) {
    return ArgError{"лишние аргументы", "orrery rebase --abort  или  orrery rebase --continue"};
  }
  if (!options.abort && !options.resume && positional.size() != 1) return help_error("rebase");
  if (positional.size() == 1) options.upstream = positional.front();
  return options;
}

RebaseResult do_rebase(const Repository& repo, const RebaseOptions& opts, std::ostream& out) {
  // Held to the end: the command reads, changes and writes back the index
  // and the branch, and a concurrent writer would lose its change or ours.
  RepoLock lock(repo.root);
  if (opts.abort) return abort_rebase(repo);
  if (opts.resume) return continue_rebase(repo, out);
  return start_rebase(repo, opts.upstream, out);
}

int print_rebase(const RebaseResult& result) {
  switch (result.status) {
    case RebaseStatus::done:
      out_stream() << "rebase: готово\n";
      return 0;
    case RebaseStatus::up_to_date:
      out_stream() << "Уже на апстриме\n";
      return 0;
    case RebaseStatus::aborted:
      out_stream() << "reset --hard\nПеребазирование отменено (rebase --abort).\n";
      return 0;
    case RebaseStatus::conflicts:
      print_error("rebase: конфликт на коммите " + result.stopped_at,
                  "разреши конфликты, orrery add …, затем orrery rebase --abort | orrery rebase "
                  "--continue");
      print_conflict_lines(result.conflicts);
      return 1;
  }
  return 1;
}

int cmd_rebase(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"rebase"});
  Parsed<RebaseOptions> parsed = parse_rebase_args(args);
  const ArgError* error = std::get_if<ArgError>(&parsed);
  // A wrong flag is refused anywhere; the help text is shown only inside a
  // repository.
  if (error && error->help_topic.empty()) return report_arg_error(*error);
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  if (error) return report_arg_error(*error);
  return report_command_error([&] {
    return print_rebase(do_rebase(*repo, std::get<RebaseOptions>(parsed), out_stream()));
  });
}
