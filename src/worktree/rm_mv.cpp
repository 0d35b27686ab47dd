#include "worktree/rm_mv.h"

#include <cstring>
#include <filesystem>
#include <ostream>

#include "cli/command_error.h"
#include "cli/help.h"
#include "cli/open_repo.h"
#include "store/fs.h"
#include "store/index.h"
#include "store/repo.h"
#include "store/tree_walk.h"
#include "worktree/internal/repo_path.h"

namespace {

// Command-line paths stay inside the working tree and out of .orrery, so
// neither command can touch what the repository is made of, and no
// directory on their way may be a symbolic link, which could lead anywhere.
void check_paths(const std::string& root, const Args& paths) {
  for (const std::string& path : paths) {
    if (!is_safe_tree_path(path)) throw CommandError("недопустимый путь: " + path, "");
    if (has_linked_parent(root, path)) {
      throw CommandError("путь проходит через символическую ссылку: " + path, "");
    }
  }
}

// The directory part of a path without trailing separators.
std::string parent_directory(const std::string& path) {
  std::string parent(path_dirname(path));
  while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
  return parent;
}

void carry_index_entry(Index& index, const std::string& from, const std::string& to) {
  auto source = index.find(from);
  if (source == index.end()) return;
  ObjectId id = source->second.hash;
  index.erase(source);
  index[to].hash = std::move(id);
}

}  // namespace

RmMvResult do_rm(const Repository& repo, const Args& paths) {
  check_paths(repo.root, paths);
  RmMvResult result;
  RepoLock lock(repo.root);  // spans the index's read-modify-write
  Index index = load_index(repo);
  for (const std::string& path : paths) {
    index.erase(path);
    const std::string full = repo.root + "/" + path;
    if (path_exists(full)) std::filesystem::remove(full);
    result.done.push_back("удалён " + path);
  }
  save_index(repo, index);
  return result;
}

RmMvResult do_mv(const Repository& repo, const std::string& from, const std::string& to) {
  check_paths(repo.root, {from, to});
  RepoLock lock(repo.root);  // spans the index's read-modify-write
  const std::string source = repo.root + "/" + from;
  const std::string destination = repo.root + "/" + to;
  if (!path_exists(source)) throw CommandError("файл не найден: " + from, "");
  std::error_code ec;
  std::filesystem::create_directories(parent_directory(destination), ec);
  if (!ec) std::filesystem::rename(source, destination, ec);
  if (ec) throw CommandError("не удалось переименовать", ec.message());
  Index index = load_index(repo);
  carry_index_entry(index, from, to);
  save_index(repo, index);
  return {{"переименовано " + from + " -> " + to}};
}

int print_rm_mv(const RmMvResult& result) {
  std::ostream& out = out_stream();
  for (const std::string& line : result.done) out << line << "\n";
  return 0;
}

int cmd_rm(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"rm"});
  if (args.empty()) return report_arg_error(help_error("rm"));
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  return report_command_error([&] { return print_rm_mv(do_rm(*repo, args)); });
}

int cmd_mv(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"mv"});
  if (args.size() != 2) return report_arg_error(help_error("mv"));
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  return report_command_error([&] { return print_rm_mv(do_mv(*repo, args[0], args[1])); });
}
