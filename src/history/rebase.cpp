#include "history/rebase.h"

#include <algorithm>
#include <ctime>
#include <functional>
#include <ostream>
#include <unordered_set>

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
#include "worktree/checkout.h"
#include "worktree/commit.h"
#include "worktree/reset.h"
#include "worktree/tree_builder.h"

// Every step writes its objects before the reference or state file that
// names them, and records in rebase-merge/pending what it is about to do, so
// a process killed between any two writes leaves a state that --continue
// finishes (redoing or completing the step) and --abort undoes.

namespace {

constexpr std::string_view k_same_branch_hint = "переключись обратно на ветку, которую переезжаешь";

bool move_branch(const Repository& repo, const std::string& branch, const ObjectId& commit) {
  try {
    update_ref(repo, branch, commit);
    return true;
  } catch (const std::runtime_error&) {
    return false;
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
int complete_step(const Repository& repo, const std::string& branch, const ObjectId& entry,
                  const ObjectId& made, std::string_view move_error,
                  const std::function<int()>& check_out) {
  write_pending_step(repo, {PendingStep::pick, entry, made});
  if (!move_branch(repo, branch, made)) {
    print_error(move_error);
    return 1;
  }
  if (check_out() != 0) return 1;
  std::vector<ObjectId> todo = read_todo(repo);
  if (!todo.empty() && todo.front() == entry) {
    todo.erase(todo.begin());
    write_todo(repo, todo);
  }
  return 0;
}

// complete_step for a commit not made by a pick in this process.
int complete_made_step(const Repository& repo, const std::string& branch, const ObjectId& entry,
                       const ObjectId& made) {
  return complete_step(repo, branch, entry, made, "не удалось обновить ref при rebase --continue",
                       [&] { return check_out_and_index(repo, branch, commit_files(repo, made)); });
}

// The last checkout writes nothing when this process made the working tree
// and the index hold the branch's commit: its line is all that is left.
int finish_rebase(const Repository& repo, const std::string& branch, const WorkingState& state) {
  if (state.trusted && state.head && state.head == head_commit(repo)) {
    print_switched(branch);
  } else if (int code = cmd_checkout({short_branch_name(branch)}); code != 0) {
    return code;
  }
  remove_rebase_state(repo);
  out_stream() << "rebase: готово\n";
  return 0;
}

int replay(const Repository& repo, const std::string& branch) {
  WorkingState state = load_working_state(repo);
  for (std::vector<ObjectId> todo = read_todo(repo); !todo.empty(); todo = read_todo(repo)) {
    const ObjectId entry = todo.front();
    write_pending_step(repo, {PendingStep::pick, entry, {}});
    ObjectWriteBatch batch(repo.objects);
    PickResult result = pick_commit(repo, entry, PickKind::cherry_pick, state);
    if (!result.commit) {
      clear_pending_step(repo);
      print_error("rebase: конфликт на коммите " + entry,
                  "разреши конфликты, orrery add …, затем orrery rebase --abort | orrery rebase "
                  "--continue");
      print_conflict_lines(result.conflicts);
      return 1;
    }
    flush_pending_objects();
    if (complete_step(repo, branch, entry, *result.commit, "не удалось обновить ref при rebase",
                      [&] { return check_out_pick(repo, branch, result, state); }) != 0) {
      return 1;
    }
  }
  return finish_rebase(repo, branch, state);
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

int start_rebase(const Repository& repo, const std::string& argument) {
  if (is_rebase_in_progress(repo)) {
    print_error("rebase уже выполняется", "orrery rebase --continue или orrery rebase --abort");
    return 1;
  }
  std::optional<std::string> branch = current_branch(repo);
  if (!branch) {
    print_error("HEAD не указывает на ветку (detached HEAD)", "сначала переключись на ветку");
    return 1;
  }
  std::optional<ObjectId> upstream = resolve_revision(repo, argument);
  if (!upstream || !is_commit(repo.objects, *upstream)) {
    print_error("не удалось разрешить апстрим: " + argument);
    return 1;
  }
  std::optional<ObjectId> head = head_commit(repo);
  if (!head) {
    print_error("нет коммитов", "сначала сделай первый коммит");
    return 1;
  }
  if (*head == *upstream) {
    out_stream() << "Уже на апстриме\n";
    return 0;
  }
  std::optional<ObjectId> base = merge_base(repo, *head, *upstream);
  if (!base) {
    print_error("не удалось найти общий ancestor для rebase");
    return 1;
  }
  std::optional<std::vector<ObjectId>> todo = commits_to_replay(repo, *head, *base);
  if (!todo) {
    print_error("нет первого родителя от HEAD до merge-base по первому родителю",
                "слияния с несколькими родителями rebase упрощённо");
    return 1;
  }
  if (todo->empty()) {
    out_stream() << "Уже на апстриме\n";
    return 0;
  }
  write_rebase_start(repo, {*branch, *upstream, *head, *todo});
  update_ref(repo, *branch, *upstream);
  if (cmd_checkout({short_branch_name(*branch)}) != 0) {
    // The working tree still holds the old branch: so must the branch.
    update_ref(repo, *branch, *head);
    remove_rebase_state(repo);
    return 1;
  }
  return replay(repo, *branch);
}

// head-name, when it names a branch and HEAD is on it; reports otherwise.
std::optional<std::string> rebased_branch(const Repository& repo, std::string_view damaged,
                                          std::string_view damaged_hint) {
  std::optional<std::string> name = read_rebase_file(repo, "head-name");
  if (!name || !name->starts_with("refs/heads/") || !is_safe_relpath(*name)) {
    print_error(damaged, damaged_hint);
    return std::nullopt;
  }
  if (head_symref(repo) != name) {
    print_error("HEAD не совпадает с rebase-merge/head-name", k_same_branch_hint);
    return std::nullopt;
  }
  return name;
}

// Finishes the step a killed process was in; false after reporting.
bool resume_pending_step(const Repository& repo, const std::string& branch,
                         const PendingStep& step) {
  if (step.kind == PendingStep::start) {
    if (!is_commit(repo.objects, step.commit)) return true;
    update_ref(repo, branch, step.commit);
    return cmd_checkout({short_branch_name(branch)}) == 0;
  }
  if (step.made.empty() || !is_commit(repo.objects, step.made)) return true;
  return complete_made_step(repo, branch, step.commit, step.made) == 0;
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

int continue_rebase(const Repository& repo) {
  if (!is_rebase_in_progress(repo)) {
    print_error("rebase --continue: нет незавершённого rebase");
    return 1;
  }
  std::optional<std::string> branch =
      rebased_branch(repo, "повреждёно состояние rebase (head-name)", "");
  if (!branch) return 1;
  if (std::optional<PendingStep> step = read_pending_step(repo)) {
    if (!resume_pending_step(repo, *branch, *step)) return 1;
    return replay(repo, *branch);
  }
  std::vector<ObjectId> todo = read_todo(repo);
  if (todo.empty()) {
    print_error("rebase --continue: пустой todo");
    return 1;
  }
  std::optional<ObjectId> made = commit_index(repo, todo.front());
  if (!made) {
    print_error("rebase --continue: не удалось собрать коммит из индекса",
                "проверь, что конфликты разрешены и нужные пути в индексе (orrery add …)");
    return 1;
  }
  if (complete_made_step(repo, *branch, todo.front(), *made) != 0) return 1;
  return replay(repo, *branch);
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

int abort_rebase(const Repository& repo) {
  if (!is_rebase_in_progress(repo)) {
    print_error("rebase --abort: нет незавершённого rebase", "нет каталога .orrery/rebase-merge");
    return 1;
  }
  constexpr std::string_view k_damaged = "повреждёно состояние rebase";
  constexpr std::string_view k_damaged_hint =
      "удали .orrery/rebase-merge вручную при необходимости";
  std::optional<std::string> orig = read_rebase_file(repo, "orig-head");
  if (!orig || !is_commit(repo.objects, *orig)) {
    print_error(k_damaged, k_damaged_hint);
    return 1;
  }
  std::optional<std::string> branch = rebased_branch(repo, k_damaged, k_damaged_hint);
  if (!branch) return 1;
  update_ref(repo, *branch, *orig);
  if (int code = cmd_reset({"--hard"}); code != 0) return code;
  keep_index_stats(repo, saved_index(repo));
  remove_rebase_state(repo);
  out_stream() << "Перебазирование отменено (rebase --abort).\n";
  return 0;
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
  options.usage = !options.abort && !options.resume && positional.size() != 1;
  if (positional.size() == 1) options.upstream = positional.front();
  return options;
}

int cmd_rebase(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"rebase"});
  Parsed<RebaseOptions> parsed = parse_rebase_args(args);
  if (const ArgError* error = std::get_if<ArgError>(&parsed)) return report_arg_error(*error);
  const RebaseOptions& options = std::get<RebaseOptions>(parsed);
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  // Held to the end: the command reads, changes and writes back the index
  // and the branch, and a concurrent writer would lose its change or ours.
  RepoLock lock(repo->root);
  if (options.abort) return abort_rebase(*repo);
  if (options.resume) return continue_rebase(*repo);
  if (options.usage) {
    cmd_help({"rebase"});
    return 1;
  }
  return start_rebase(*repo, options.upstream);
}
