#include "worktree/reset.h"

#include <filesystem>
#include <ostream>
#include <variant>
#include <vector>

#include "cli/command_error.h"
#include "cli/help.h"
#include "cli/open_repo.h"
#include "store/fs.h"
#include "store/refs.h"
#include "store/repo.h"
#include "store/revision.h"
#include "worktree/tree_writer.h"

namespace {

constexpr std::string_view k_usage =
    "orrery reset [--mixed|--soft|--hard] [<ревизия>] иначе см. orrery help reset";

[[noreturn]] void refuse(std::string message, std::string hint = {}) {
  throw CommandError(std::move(message), std::move(hint));
}

// The reset texts name no object, unlike checkout's.
std::string reset_failure_text(const std::string& text) {
  if (text.rfind("Invalid tree object: ", 0) == 0) return "Invalid tree";
  if (text.rfind("Missing blob ", 0) == 0) return "Missing blob";
  return text;
}

// Deletes every regular file below the root that the tree lacks and the
// ignore rules do not keep. Ignored directories (.orrery and .git always)
// are kept whole and not entered.
void delete_untracked(const std::string& root, const IgnoreRules& rules, const PathMap& files) {
  namespace fs = std::filesystem;
  std::vector<fs::path> doomed;
  const fs::path base(root);
  for (auto it = fs::recursive_directory_iterator(base); it != fs::end(it); ++it) {
    const fs::file_status status = it->symlink_status();
    std::string path = it->path().lexically_relative(base).generic_string();
    if (fs::is_directory(status)) {
      if (is_ignored(rules, path, true)) it.disable_recursion_pending();
      continue;
    }
    if (!fs::is_regular_file(status)) continue;
    if (is_ignored(rules, path, false) || files.count(path)) continue;
    doomed.push_back(it->path());
  }
  for (const fs::path& path : doomed) fs::remove(path);
}

// A commit's files checked for a hard reset, before anything moves.
struct HardResetPlan {
  TreeFiles plan;
  PathMap files;
};

HardResetPlan prepare_hard_reset(const Repository& repo, const ObjectId& commit) {
  std::optional<Commit> parsed = read_commit(repo.objects, commit);
  if (!parsed || parsed->tree.empty()) refuse("нет дерева для коммита: " + commit);
  HardResetPlan out;
  try {
    out.plan = plan_tree_files(repo.objects, parsed->tree, repo.root);
  } catch (const std::runtime_error& e) {
    refuse(reset_failure_text(e.what()));
  }
  for (const TreeFile& item : out.plan) {
    if (!item.is_directory) out.files[item.path] = item.id;
  }
  return out;
}

ResetResult apply_hard_reset(const Repository& repo, const IgnoreRules& rules,
                             const HardResetPlan& reset) {
  WrittenFiles written;
  try {
    KnownFiles known = load_known_files(repo);
    write_planned_files(repo.objects, repo.root, reset.plan, &known, &written);
  } catch (const std::runtime_error& e) {
    refuse(reset_failure_text(e.what()));
  }
  delete_untracked(repo.root, rules, reset.files);
  // Every file now holds its blob, so the index gets the stats they have:
  // the next status or checkout need not read them.
  save_index(repo, written.files);
  return {"reset --hard"};
}

// The index of a commit's files. An entry keeps the stat the old index
// recorded for the same path and blob, which still tells whether the file
// changed since; one recorded in the old index's own second proves nothing
// and is dropped.
Index index_for_commit(const Repository& repo, const ObjectId& commit) {
  PathMap files;
  if (std::optional<Commit> parsed = read_commit(repo.objects, commit)) {
    flatten_tree(repo.objects, parsed->tree, "", files);
  }
  Index index = index_from_tree(files);
  const KnownFiles known = load_known_files(repo);
  for (auto& [path, entry] : index) {
    auto old = known.index.find(path);
    if (old == known.index.end() || old->second.hash != entry.hash) continue;
    if (old->second.mtime < known.index_mtime) entry = old->second;
  }
  return index;
}

ResetResult reset_to_head(const Repository& repo, ResetMode mode) {
  std::optional<ObjectId> head = head_commit(repo);
  if (!head) {
    refuse("нет коммитов", mode == ResetMode::hard ? "сначала сделай первый коммит"
                                                   : "сливать пока не из чего индекс");
  }
  if (mode == ResetMode::hard) {
    IgnoreRules rules = load_ignore_rules(repo.root);
    return apply_hard_reset(repo, rules, prepare_hard_reset(repo, *head));
  }
  save_index(repo, index_for_commit(repo, *head));
  return {"reset (индекс = HEAD)"};
}

ResetResult reset_to_revision(const Repository& repo, ResetMode mode, const std::string& revision) {
  std::optional<ObjectId> commit = resolve_revision(repo, revision);
  if (!commit) refuse("reset: не удалось разрешить ревизию: " + revision);
  if (mode == ResetMode::soft) {
    move_head(repo, *commit);
    return {"reset --soft"};
  }
  if (mode == ResetMode::mixed) {
    Index index = index_for_commit(repo, *commit);
    move_head(repo, *commit);
    save_index(repo, index);
    return {"reset --mixed"};
  }
  IgnoreRules rules = load_ignore_rules(repo.root);
  const HardResetPlan reset = prepare_hard_reset(repo, *commit);
  move_head(repo, *commit);
  return apply_hard_reset(repo, rules, reset);
}

}  // namespace

Index index_from_tree(const PathMap& files) {
  Index index;
  for (const auto& [path, id] : files)
    index.emplace_hint(index.end(), path, IndexEntry{id, 0, 0, 0});
  return index;
}

Parsed<ResetOptions> parse_reset_args(const Args& args) {
  ResetOptions options;
  int modes = 0;
  std::vector<std::string> revisions;
  for (const std::string& arg : args) {
    if (arg == "--soft" || arg == "--mixed" || arg == "--hard") {
      options.mode = arg == "--soft" ? ResetMode::soft
                                     : (arg == "--hard" ? ResetMode::hard : ResetMode::mixed);
      ++modes;
    } else if (!arg.empty() && arg.front() == '-') {
      return ArgError{"неизвестный флаг для reset: " + arg, std::string(k_usage)};
    } else {
      revisions.push_back(arg);
    }
  }
  if (modes > 1) return ArgError{"выбери один режим reset: --soft, --mixed или --hard", ""};
  if (options.mode == ResetMode::soft && revisions.empty()) {
    return ArgError{"для reset --soft нужна ревизия", "например: orrery reset --soft HEAD~1"};
  }
  if (revisions.size() > 1) return ArgError{"ожидается не больше одной ревизии для reset", ""};
  if (!revisions.empty()) options.revision = revisions.front();
  return options;
}

ResetResult do_reset(const Repository& repo, const ResetOptions& options) {
  RepoLock lock(repo.root);  // the index is rewritten as HEAD moves
  if (!options.revision) return reset_to_head(repo, options.mode);
  return reset_to_revision(repo, options.mode, *options.revision);
}

int print_reset(const ResetResult& result) {
  out_stream() << result.done << "\n";
  return 0;
}

ResetResult hard_reset_worktree(const Repository& repo, const IgnoreRules& rules,
                                const ObjectId& commit) {
  return apply_hard_reset(repo, rules, prepare_hard_reset(repo, commit));
}

int cmd_reset(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"reset"});
  Parsed<ResetOptions> parsed = parse_reset_args(args);
  if (auto* error = std::get_if<ArgError>(&parsed)) return report_arg_error(*error);
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  return report_command_error(
      [&] { return print_reset(do_reset(*repo, std::get<ResetOptions>(parsed))); });
}
