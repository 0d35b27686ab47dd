#include "worktree/restore.h"

#include <vector>

#include "cli/command_error.h"
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

// The files of the source commit: --source, else HEAD, else nothing.
std::optional<PathMap> load_source(const Repository& repo, const RestoreOptions& options) {
  std::optional<ObjectId> commit;
  if (options.source) {
    commit = resolve_revision(repo, *options.source);
    if (!commit) return std::nullopt;
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

void restore_working_files(const Repository& repo, const Index& index, const PathMap& source,
                           const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    ObjectId id;
    if (auto entry = index.find(path); entry != index.end()) {
      id = entry->second.hash;
    } else if (auto file = source.find(path); file != source.end()) {
      id = file->second;
    } else {
      throw CommandError("неизвестный путь: " + path, "");
    }
    if (!restore_file(repo.objects, repo.root, path, id)) {
      throw CommandError("не удалось восстановить " + path, "");
    }
  }
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

Parsed<RestoreOptions> parse_restore_args(const Args& args) {
  RestoreOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--staged") {
      options.staged = true;
    } else if (args[i] == "--source") {
      if (i + 1 == args.size()) return help_error("restore");
      options.source = args[++i];
    } else {
      options.paths.push_back(args[i]);
    }
  }
  return options;
}

void do_restore(const Repository& repo, const RestoreOptions& options) {
  // The lock spans the index's read-modify-write with --staged.
  RepoLock lock(repo.root);
  Index index = load_index(repo);
  std::optional<PathMap> source = load_source(repo, options);
  if (!source) throw CommandError("не удалось разрешить ревизию: " + *options.source, "");
  if (options.staged) {
    restore_staged(repo, index, *source, options.paths);
  } else {
    restore_working_files(repo, index, *source, options.paths);
  }
}

int cmd_restore(const Args& args) {
  if (args.empty()) return report_arg_error(help_error("restore"));
  if (has_help_flag(args)) return cmd_help({"restore"});
  Parsed<RestoreOptions> parsed = parse_restore_args(args);
  if (auto* error = std::get_if<ArgError>(&parsed)) return report_arg_error(*error);
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  return report_command_error([&] {
    do_restore(*repo, std::get<RestoreOptions>(parsed));
    return 0;
  });
}
