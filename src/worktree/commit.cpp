#include "worktree/commit.h"

#include <cstdlib>
#include <ctime>
#include <optional>
#include <ostream>

#include "cli/command_error.h"
#include "cli/help.h"
#include "cli/open_repo.h"
#include "store/index.h"
#include "store/refs.h"
#include "store/repo.h"
#include "worktree/tree_builder.h"

namespace {

constexpr std::string_view k_usage_hint = "orrery commit -m \"…\" [--amend]";

// The new commit's fields other than the tree; nothing when HEAD cannot be
// amended because it is not a readable commit.
std::optional<Commit> describe_commit(const Repository& repo, const CommitOptions& opts,
                                      const std::optional<ObjectId>& head) {
  Commit commit;
  commit.author = environment_author();
  commit.message = opts.message;
  commit.timestamp = static_cast<uint64_t>(std::time(nullptr));
  if (!opts.amend) {
    if (head) commit.parents.push_back(*head);
    return commit;
  }
  std::optional<Commit> old = read_commit(repo.objects, *head);
  if (!old) return std::nullopt;
  commit.parents = old->parents;
  if (!old->author.empty()) commit.author = old->author;
  if (commit.message.empty()) commit.message = old->message;
  return commit;
}

PathMap index_blobs(const Index& index) {
  PathMap paths;
  for (const auto& [path, entry] : index) paths.emplace_hint(paths.end(), path, entry.hash);
  return paths;
}

std::string branch_label(const std::string& ref) {
  constexpr std::string_view k_heads = "refs/heads/";
  return ref.compare(0, k_heads.size(), k_heads) == 0 ? ref.substr(k_heads.size()) : ref;
}

}  // namespace

Parsed<CommitOptions> parse_commit_args(const Args& args) {
  CommitOptions opts;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.empty()) continue;
    if (arg == "--amend") {
      opts.amend = true;
    } else if (arg == "-m" && i + 1 < args.size()) {
      opts.message = args[++i];
    } else if (arg[0] == '-') {
      return ArgError{"неизвестный флаг для commit: " + arg, std::string(k_usage_hint)};
    } else {
      return ArgError{"лишний аргумент для commit: " + arg, std::string(k_usage_hint)};
    }
  }
  return opts;
}

CommitResult do_commit(const Repository& repo, const CommitOptions& opts) {
  const std::optional<ObjectId> head = head_commit(repo);
  if (opts.amend && !head)
    throw CommandError("нет коммита для --amend", "сначала сделай первый коммит");
  if (!opts.amend && opts.message.empty()) {
    throw CommandError("не задано сообщение коммита",
                       "используй: orrery commit -m \"…\" или при --amend см. помощь");
  }
  const ObjectId tree = build_tree(repo.objects, index_blobs(load_index(repo)), "");
  std::optional<Commit> commit = describe_commit(repo, opts, head);
  if (!commit) throw CommandError("HEAD повреждён или не является коммитом", "");
  commit->tree = tree;
  const ObjectId id = write_object(repo.objects, "commit", serialize_commit(*commit));
  // Another process may have committed meanwhile; moving the branch (or a
  // detached HEAD) from under it would drop its commit.
  std::optional<std::string> branch = head_symref(repo);
  const bool moved =
      branch ? !update_ref_if(repo, *branch, id, head) : !detach_head_if(repo, id, head);
  if (moved) {
    throw CommandError(
        "ветка сдвинулась во время коммита: " + (branch ? branch_label(*branch) : "HEAD"),
        "повтори orrery commit");
  }
  return {id};
}

int print_commit(const CommitResult& result) {
  out_stream() << "Закоммичено " << result.id << "\n";
  return 0;
}

std::string environment_author() {
  for (const char* name : {"USER", "USERNAME"}) {
    if (const char* value = std::getenv(name)) return value;
  }
  return "orrery";
}

int cmd_commit(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"commit"});
  Parsed<CommitOptions> parsed = parse_commit_args(args);
  if (auto* error = std::get_if<ArgError>(&parsed)) return report_arg_error(*error);
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  return report_command_error(
      [&] { return print_commit(do_commit(*repo, std::get<CommitOptions>(parsed))); });
}
