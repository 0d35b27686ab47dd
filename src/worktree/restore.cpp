#include "worktree/restore.h"

#include <vector>

#include "cli/help.h"
#include "cli/open_repo.h"
#include "store/fs.h"
#include "store/index.h"
#include "store/refs.h"
#include "store/repo.h"
#include "store/revision.h"
#include "store/tree_walk.h"
#include "worktree/internal/repo_path.h"

namespace {

struct RestoreOptions {
  bool staged = false;
  std::optional<std::string> source;
  std::vector<std::string> paths;
};

// Prints the help itself when the arguments ask for it or are incomplete;
// `exit_code` then says how to end.
std::optional<RestoreOptions> parse_restore_args(const Args& args, int& exit_code) {
  if (args.empty() || has_help_flag(args)) {
    cmd_help({"restore"});
    exit_code = args.empty() ? 1 : 0;
    return std::nullopt;
  }
  RestoreOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--staged") {
      options.staged = true;
    } else if (args[i] == "--source") {
      if (i + 1 == args.size()) {
        cmd_help({"restore"});
        exit_code = 1;
        return std::nullopt;
      }
      options.source = args[++i];
    } else {
      options.paths.push_back(args[i]);
    }
  }
  return options;
}

// The files of the source commit: --source, else HEAD, else nothing.
std::optional<PathMap> load_source(const Repository& repo, const RestoreOptions& options) {
  std::optional<ObjectId> commit;
  if (options.source) {
    commit = resolve_revision(repo, *options.source);
    if (!commit) {
      print_error("не удалось разрешить ревизию: " + *options.source);
      return std::nullopt;
    }
  } else {
    commit = head_commit(repo);
  }
  PathMap files;
  if (!commit) return files;
  if (std::optional<Commit> parsed = read_commit(repo.objects, *commit)) {
    flatten_tree(repo.objects, parsed->tree, "", files);
  }
  return files;
}

int restore_working_files(const Repository& repo, const Index& index, const PathMap& source,
                          const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    ObjectId id;
    if (auto entry = index.find(path); entry != index.end()) {
      id = entry->second.hash;
    } else if (auto file = source.find(path); file != source.end()) {
      id = file->second;
    } else {
      print_error("неизвестный путь: " + path);
      return 1;
    }
    if (!restore_file(repo.objects, repo.root, path, id)) {
      print_error("не удалось восстановить " + path);
      return 1;
    }
  }
  return 0;
}

void restore_staged(const Repository& repo, Index& index, const PathMap& source,
                    const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    if (auto file = source.find(path); file != source.end()) {
      index[path].hash = file->second;
    } else {
      index.erase(path);
    }
  }
  save_index(repo, index);
}

}  // namespace

bool restore_file(const ObjectStore& store, const std::string& root, const std::string& path,
                  const ObjectId& id) {
  if (!is_safe_tree_path(path) || has_linked_parent(root, path)) return false;
  std::optional<Object> blob = read_object(store, id);
  if (!blob || blob->type != "blob") return false;
  write_file_atomic(root + "/" + path, blob->data);
  return true;
}

int cmd_restore(const Args& args) {
  int exit_code = 0;
  std::optional<RestoreOptions> options = parse_restore_args(args, exit_code);
  if (!options) return exit_code;

  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;

  // The lock spans the index's read-modify-write with --staged.
  RepoLock lock(repo->root);
  Index index = load_index(*repo);
  std::optional<PathMap> source = load_source(*repo, *options);
  if (!source) return 1;
  if (!options->staged) return restore_working_files(*repo, index, *source, options->paths);
  restore_staged(*repo, index, *source, options->paths);
  return 0;
}
