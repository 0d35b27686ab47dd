#include "history/merge_cmd.h"

#include <ctime>
#include <ostream>

#include "cli/help.h"
#include "cli/open_repo.h"
#include "history/internal/command_steps.h"
#include "history/merge_base.h"
#include "history/path_merge.h"
#include "store/fs.h"
#include "store/refs.h"
#include "store/repo.h"
#include "store/revision.h"
#include "worktree/reset.h"
#include "worktree/tree_builder.h"

// .orrery/MERGE_HEAD holds "<id of the commit being merged in>\n" from the
// moment a real merge starts until its commit is made or --abort runs; a
// merge that stopped on conflicts keeps it, so the next merge is refused.

namespace {

struct MergeOptions {
  bool abort = false;
  std::vector<std::string> positional;
};

std::optional<MergeOptions> parse_merge_args(const Args& args) {
  MergeOptions options;
  for (const std::string& arg : args) {
    if (arg == "--abort") {
      options.abort = true;
    } else if (!arg.empty() && arg.front() == '-') {
      print_error("неизвестный флаг для merge: " + arg,
                  "orrery merge [--abort] | orrery merge <ветка|remote/ветка>");
      return std::nullopt;
    } else {
      options.positional.push_back(arg);
    }
  }
  return options;
}

std::string merge_head_path(const Repository& repo) { return orrery_path(repo, "MERGE_HEAD"); }

int abort_merge(const Repository& repo) {
  if (!path_exists(merge_head_path(repo))) {
    print_error("merge --abort: нет незавершённого слияния",
                "нет .orrery/MERGE_HEAD или слияние уже завершено");
    return 1;
  }
  if (!current_branch(repo)) {
    print_error("HEAD не указывает на ветку",
                "восстанови ветку вручную или повторно переключись на неё перед --abort");
    return 1;
  }
  const Index before = load_index(repo);
  if (int code = cmd_reset({"--hard"}); code != 0) return code;
  keep_index_stats(repo, before);
  remove_path(merge_head_path(repo));
  out_stream() << "Слияние прервано (merge --abort).\n";
  return 0;
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

enum class MergeStatus { up_to_date, fast_forward, contained, merged, conflicts, no_base, no_tree };

struct MergeResult {
  MergeStatus status = MergeStatus::up_to_date;
  ObjectId commit;
  std::vector<std::string> conflicts;
};

// The three-tree merge from MERGE_HEAD on: a commit, or conflicts.
MergeResult merge_commits(const Repository& repo, const std::string& branch, const ObjectId& head,
                          const ObjectId& merged, const std::string& name) {
  write_file_atomic(merge_head_path(repo), merged + "\n");
  const auto stop = [&](MergeStatus status) {
    remove_path(merge_head_path(repo));
    return MergeResult{status, {}, {}};
  };
  std::optional<ObjectId> base = merge_base(repo, head, merged);
  if (!base) return stop(MergeStatus::no_base);
  std::optional<ObjectId> base_tree = readable_commit_tree(repo.objects, *base);
  std::optional<ObjectId> ours_tree = readable_commit_tree(repo.objects, head);
  std::optional<ObjectId> theirs_tree = readable_commit_tree(repo.objects, merged);
  if (!base_tree || !ours_tree || !theirs_tree) return stop(MergeStatus::no_tree);

  ObjectWriteBatch batch(repo.objects);
  PathMergeOutcome outcome = merge_paths(repo, *base_tree, *ours_tree, *theirs_tree);
  if (!outcome.conflicts.empty()) return {MergeStatus::conflicts, {}, std::move(outcome.conflicts)};
  Commit commit{build_tree(repo.objects, outcome.merged, ""),
                {head, merged},
                "orrery",
                "Слияние ветки " + name,
                static_cast<uint64_t>(std::time(nullptr))};
  MergeResult result{
      MergeStatus::merged, write_object(repo.objects, "commit", serialize_commit(commit)), {}};
  update_ref(repo, branch, result.commit);
  remove_path(merge_head_path(repo));
  return result;
}

MergeResult do_merge(const Repository& repo, const std::string& branch, const ObjectId& head,
                     const ObjectId& merged, const std::string& name) {
  if (merged == head) return {MergeStatus::up_to_date, {}, {}};
  if (is_ancestor(repo, head, merged)) {
    update_ref(repo, branch, merged);
    return {MergeStatus::fast_forward, merged, {}};
  }
  if (is_ancestor(repo, merged, head)) return {MergeStatus::contained, {}, {}};
  return merge_commits(repo, branch, head, merged, name);
}

int print_merge(const MergeResult& result, const std::string& branch, const std::string& name) {
  switch (result.status) {
    case MergeStatus::up_to_date:
      out_stream() << "Уже на ветке " << name << "\n";
      return 0;
    case MergeStatus::fast_forward:
      out_stream() << "Fast-forward: обновлён указатель " << branch << "\n";
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
  }
  return 1;
}

int start_merge(const Repository& repo, const std::string& name) {
  if (path_exists(merge_head_path(repo))) {
    print_error("слияние уже в процессе (конфликты или незавершённый merge)",
                "разреши и закомить либо выполни orrery merge --abort");
    return 1;
  }
  std::optional<std::string> branch = current_branch(repo);
  if (!branch) {
    print_error("HEAD не указывает на ветку", "создай ветку или переключись на существующую");
    return 1;
  }
  std::optional<ObjectId> merged = find_merged_commit(repo, name);
  if (!merged) {
    print_error("ветка не найдена: " + name, "проверь имя или сделай fetch refs удалённого");
    return 1;
  }
  std::optional<ObjectId> head = head_commit(repo);
  if (!head) {
    print_error("HEAD не указывает на коммит", "сначала сделай первый коммит");
    return 1;
  }
  return print_merge(do_merge(repo, *branch, *head, *merged, name), *branch, name);
}

}  // namespace

int cmd_merge(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"merge"});
  std::optional<MergeOptions> options = parse_merge_args(args);
  if (!options) return 1;
  if (options->abort && !options->positional.empty()) {
    print_error("лишние аргументы для merge --abort", "используй: orrery merge --abort");
    return 1;
  }
  if (!options->abort && options->positional.empty()) {
    cmd_help({"merge"});
    return 1;
  }
  if (options->positional.size() > 1) {
    print_error("неверное число аргументов", "используй: orrery merge <ветка|remote/ветка>");
    return 1;
  }
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  // Held to the end: the command reads, changes and writes back the index
  // and the branch, and a concurrent writer would lose its change or ours.
  RepoLock lock(repo->root);
  if (options->abort) return abort_merge(*repo);
  return start_merge(*repo, options->positional.front());
}
