#include "worktree/add.h"

#include <sys/stat.h>

#include <iostream>
#include <optional>
#include <stdexcept>

#include "cli/command_error.h"
#include "cli/help.h"
#include "cli/open_repo.h"
#include "cli/progress.h"
#include "store/fs.h"
#include "store/ignore.h"
#include "store/index.h"
#include "store/repo.h"
#include "store/tree_walk.h"
#include "worktree/add_patch.h"
#include "worktree/internal/dir_walk.h"
#include "worktree/internal/repo_path.h"
#include "worktree/working_stat.h"

namespace {

// A dangling symlink counts as missing, as it would for a reader.
bool exists_following_links(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// Refuses, before anything is written, a path that leaves the working tree
// (its index key would point outside it), a symbolic link (whose target may
// lie anywhere) and a path no tree may hold (inside a nested .git, say).
void check_arguments(const std::string& root, const IgnoreRules& rules,
                     const std::vector<std::string>& paths) {
  for (const std::string& arg : paths) {
    const std::string full = repo_full_path(root, arg);
    if (is_symbolic_link(full)) {
      throw CommandError("символическая ссылка не добавляется: " + arg,
                         "orrery хранит только обычные файлы; добавь сам файл или каталог");
    }
    if (!exists_following_links(full)) continue;
    std::optional<std::string> relative = repo_relative_path(root, arg);
    if (!relative) throw CommandError(outside_root_error(arg));
    if (*relative != "." && !is_ignored(rules, *relative, is_directory(full)) &&
        !is_safe_tree_path(*relative)) {
      throw CommandError("недопустимый путь: " + arg, "");
    }
  }
}

// Stages whole files, reusing one read buffer for all of them.
struct Stager {
  const Repository& repo;
  Index& index;
  const AddSink& sink;
  Progress* progress;
  std::string content;
  std::string path;

  void stage(const std::string& relative) {
    path.assign(repo.root).append("/").append(relative);
    // The stat is taken before the read: a file changed in between then
    // looks changed to the next scan instead of looking unchanged.
    struct stat before;
    if (!read_file_into(path, content, &before)) {
      throw std::runtime_error("Cannot open file for reading: " + path);
    }
    const WorkingStat stat = working_stat_of(before);
    ObjectId id = write_object(repo.objects, "blob", content);
    sink(AddEvent::staged, relative, id);
    index[relative] = IndexEntry{std::move(id), stat.size, stat.mtime, stat.mode};
    if (progress) progress->add(1, content.size());
  }
};

void stage_directory(Stager& stager, const IgnoreRules& rules, const std::string& relative) {
  const std::string base = relative == "." ? "" : relative;
  bool listed =
      walk_directory(stager.repo.root, base, [&](const std::string& path, WalkEntry kind) {
        // Names no tree may hold are passed over: .orrery and .git at any
        // depth (skipping the store early also spares reading it), and the
        // few a checkout would refuse.
        if (!is_safe_tree_name(path_basename(path))) return false;
        if (kind == WalkEntry::directory) return true;
        if (kind == WalkEntry::file && !is_ignored(rules, path, false)) stager.stage(path);
        return false;
      });
  if (!listed) throw std::runtime_error("Cannot list directory: " + stager.repo.root + "/" + base);
}

void stage_argument(Stager& stager, const IgnoreRules& rules, const std::string& arg) {
  const std::string full = repo_full_path(stager.repo.root, arg);
  if (!exists_following_links(full)) {
    stager.sink(AddEvent::missing, arg, {});
    return;
  }
  const std::string relative = *repo_relative_path(stager.repo.root, arg);
  const bool directory = is_directory(full);
  if (is_ignored(rules, relative, directory)) {
    stager.sink(AddEvent::ignored, relative, {});
    return;
  }
  if (directory) {
    stage_directory(stager, rules, relative);
  } else if (is_regular_file(full)) {
    stager.stage(relative);
  } else {
    throw std::runtime_error("Not a regular file: " + full);
  }
}

}  // namespace

Parsed<AddOptions> parse_add_args(const Args& args) {
  AddOptions opts;
  opts.paths = args;
  if (!args.empty() && (args.front() == "-p" || args.front() == "--patch")) {
    opts.patch = true;
    opts.paths.erase(opts.paths.begin());
    if (opts.paths.empty()) {
      return ArgError{"не указан путь для -p", "используй: orrery add -p <файл>"};
    }
  }
  return opts;
}

void do_add(const Repository& repo, const AddOptions& opts, const AddSink& sink,
            Progress* progress) {
  const IgnoreRules rules = load_ignore_rules(repo.root);
  check_arguments(repo.root, rules, opts.paths);
  // The lock spans the index's read-modify-write: parallel adds each keep
  // what the others staged.
  RepoLock lock(repo.root);
  Index index = load_index(repo);
  // Blobs are written in groups under one lock; saving the index writes
  // what is still held back before the index can name it.
  ObjectWriteBatch batch(repo.objects);
  Stager stager{repo, index, sink, progress, {}, {}};
  for (const std::string& arg : opts.paths) stage_argument(stager, rules, arg);
  if (progress) progress->finish();
  save_index(repo, index);
}

void print_add_event(AddEvent event, const std::string& path, const ObjectId& id) {
  if (event == AddEvent::staged) {
    out_stream() << "добавлен " << path << " (" << id << ")\n";
    return;
  }
  out_stream().flush();
  if (event == AddEvent::missing) {
    std::cerr << "Внимание: путь не существует: " << path << "\n";
  } else {
    std::cerr << "Пропущено (ignored): " << path << "\n";
  }
}

int cmd_add(const Args& args) {
  if (args.empty()) return report_arg_error(help_error("add"));
  if (has_help_flag(args)) return cmd_help({"add"});
  Parsed<AddOptions> parsed = parse_add_args(args);
  if (auto* error = std::get_if<ArgError>(&parsed)) return report_arg_error(*error);
  const AddOptions& opts = std::get<AddOptions>(parsed);
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  return report_command_error([&] {
    if (opts.patch) return print_add_patch(do_add_patch(*repo, opts.paths, console_hunk_dialog()));
    Progress progress("Добавление файлов", ProgressOutput::per_item);
    do_add(*repo, opts, print_add_event, &progress);
    return 0;
  });
}
