#include "history/merge_cmd.h"

#include <ctime>
#include <ostream>

#include "cli/command_error.h"
#include "cli/help.h"
#include "cli/open_repo.h"
#include "history/internal/command_steps.h"
#include "history/merge_base.h"
#include "history/path_merge.h"
#include "store/fs.h"
#include "store/ignore.h"
#include "store/refs.h"
#include "store/repo.h"
#include "store/revision.h"
#include "worktree/reset.h"
#include "worktree/tree_builder.h"

// .orrery/MERGE_HEAD holds "<id of the commit being merged in>\n" from the
// moment a real merge starts until its commit is made or --abort runs; a
// merge that stopped on conflicts keeps it, so the next merge is refused.

namespace {

std::string merge_head_path(const Repository& repo) { return orrery_path(repo, "MERGE_HEAD"); }

MergeResult abort_merge(const Repository& repo) {
  if (!path_exists(merge_head_path(repo))) {
    throw CommandError("merge --abort: нет незавершённого слияния",
                       "нет .orrery/MERGE_HEAD или слияние уже завершено");
  }
  std::optional<std::string> branch = current_branch(repo);
  if (!branch) {
    throw CommandError("HEAD не указывает на ветку",
                       "восстанови ветку вручную или повторно переключись на неё перед --abort");
  }
  std::optional<ObjectId> head = head_commit(repo);
  if (!head) throw CommandError("нет коммитов", "сначала сделай первый коммит");
  const Index before = load_index(repo);
  hard_reset_worktree(repo, load_ignore_rules(repo.root), *head);
  keep_index_stats(repo, before);
  remove_path(merge_head_path(repo));
  return {MergeStatus::aborted, {}, {}, *branch, {}};
}

// A local branch, else a remote-tracking one; only names that stay inside
// refs/ and references holding an object id count.
std::optional<ObjectId> find_merged_commit(const Repository& repo, const std::string& name) {
  if (!is_safe_relpath(name)) return std::nullopt;
  std::optional<std::string> id = read_ref(repo.root, "refs/heads/" + name);
  if (!id) id = read_ref(repo.root, "refs/remotes/" + name);
  if (!id || !is_object_id(*id)) return std::nullopt;
  return id;
}

// The three-tree merge from MERGE_HEAD on: a commit, or conflicts.
MergeResult merge_commits(const Repository& repo, const std::string& branch, const ObjectId& head,
                          const ObjectId& merged, const std::string& name) {
  write_file_atomic(merge_head_path(repo), merged + "\n");
  const auto stop = [&](MergeStatus status) {
    remove_path(merge_head_path(repo));
    return MergeResult{status, {}, {}, branch, name};
  };
  std::optional<ObjectId> base = merge_base(repo, head, merged);
  if (!base) return stop(MergeStatus::no_base);
  std::optional<ObjectId> base_tree = readable_commit_tree(repo.objects, *base);
  std::optional<ObjectId> ours_tree = readable_commit_tree(repo.objects, head);
  std::optional<ObjectId> theirs_tree = readable_commit_tree(repo.objects, merged);
  if (!base_tree || !ours_tree || !theirs_tree) return stop(MergeStatus::no_tree);

  ObjectWriteBatch batch(repo.objects);
  PathMergeOutcome outcome = merge_paths(repo, *base_tree, *ours_tree, *theirs_tree);
  if (!outcome.conflicts.empty())
    return {MergeStatus::conflicts, {}, std::move(outcome.conflicts), branch, name};
  Commit commit{build_tree(repo.objects, outcome.merged, ""),
                {head, merged},
                "orrery",
                "Слияние ветки " + name,
                static_cast<uint64_t>(std::time(nullptr))};
  MergeResult result{MergeStatus::merged,
                     write_object(repo.objects, "commit", serialize_commit(commit)),
                     {},
                     branch,
                     name};
  update_ref(repo, branch, result.commit);
  remove_path(merge_head_path(repo));
  return result;
}

MergeResult merge_into(const Repository& repo, const std::string& branch, const ObjectId& head,
                       const ObjectId& merged, const std::string& name) {
  if (merged == head) return {MergeStatus::up_to_date, {}, {}, branch, name};
  if (is_ancestor(repo, head, merged)) {
    update_ref(repo, branch, merged);
    return {MergeStatus::fast_forward, merged, {}, branch, name};
  }
  if (is_ancestor(repo, merged, head)) return {MergeStatus::contained, {}, {}, branch, name};
  return merge_commits(repo, branch, head, merged, name);
}

MergeResult start_merge(const Repository& repo, const std::string& name) {
  if (path_exists(merge_head_path(repo))) {
    throw CommandError("слияние уже в процессе (конфликты или незавершённый merge)",
                       "разреши и закомить либо выполни orrery merge --abort");
  }
  std::optional<std::string> branch = current_branch(repo);
  if (!branch) {
    throw CommandError("HEAD не указывает на ветку",
                       "создай ветку или переключись на существующую");
  }
  std::optional<ObjectId> merged = find_merged_commit(repo, name);
  if (!merged) {
    throw CommandError("ветка не найдена: " + name, "проверь имя или сделай fetch refs удалённого");
  }
  std::optional<ObjectId> head = head_commit(repo);
  if (!head) throw CommandError("HEAD не указывает на коммит", "сначала сделай первый коммит");
  return merge_into(repo, *branch, *head, *merged, name);
}

}  // namespace

Parsed<MergeOptions> parse_merge_args(const Args& args) {
  MergeOptions options;
  std::vector<std::string> positional;
  for (const std::string& arg : args) {
    if (arg == "--abort") {
      options.abort = true;
    } else if (!arg.empty() && arg.front() == '-') {
      return ArgError{"неизвестный флаг для merge: " + arg,
                      "orrery merge [--abort] | orrery merge <ветка|remote/ветка>"};
    } else {
      positional.push_back(arg);
    }
  }
  if (options.abort && !positional.empty()) {
    return ArgError{"лишние аргументы для merge --abort", "используй: orrery merge --abort"};
  }
  if (positional.size() > 1) {
    return ArgError{"неверное число аргументов", "используй: orrery merge <ветка|remote/ветка>"};
  }
  options.usage = !options.abort && positional.empty();
  if (!positional.empty()) options.name = positional.front();
  return options;
}

MergeResult do_merge(const Repository& repo, const MergeOptions& opts) {
  // Held to the end: the command reads, changes and writes back the index
  // and the branch, and a concurrent writer would lose its change or ours.
  RepoLock lock(repo.root);
  if (opts.abort) return abort_merge(repo);
  return start_merge(repo, opts.name);
}

int print_merge(const MergeResult& result) {
  const std::string& name = result.name;
  switch (result.status) {
    case MergeStatus::up_to_date:
      out_stream() << "Уже на ветке " << name << "\n";
      return 0;
    case MergeStatus::fast_forward:
      out_stream() << "Fast-forward: обновлён указатель " << result.branch << "\n";
      return 0;
    case MergeStatus::contained:
      out_stream() << "Текущая ветка уже содержит все коммиты " << name << "\n";
      return 0;
    case MergeStatus::merged:
      out_stream() << "Создан merge-коммит " << result.commit << " (" << name << ")\n";
      return 0;
    case MergeStatus::conflicts:
      print_error("merge завершился конфликтами",
                  "разреши конфликты, затем 'orrery add ...' и 'orrery commit'; либо orrery merge "
                  "--abort");
      print_conflict_lines(result.conflicts);
      return 1;
    case MergeStatus::no_base:
      print_error("не удалось найти merge-base",
                  "убедись, что у обеих веток есть связанная история");
      return 1;
    case MergeStatus::no_tree:
      print_error("не удалось прочитать дерево для merge", "возможно репозиторий повреждён");
      return 1;
    case MergeStatus::aborted:
      out_stream() << "reset --hard\nСлияние прервано (merge --abort).\n";
      return 0;
  }
  return 1;
}

int cmd_merge(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"merge"});
  Parsed<MergeOptions> options = parse_merge_args(args);
  if (const ArgError* error = std::get_if<ArgError>(&options)) return report_arg_error(*error);
  if (std::get<MergeOptions>(options).usage) {
    cmd_help({"merge"});
    return 1;
  }
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  return report_command_error(
      [&] { return print_merge(do_merge(*repo, std::get<MergeOptions>(options))); });
}
