#include "worktree/rm_mv.h"

#include <cstring>
#include <filesystem>
#include <ostream>

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
bool check_paths(const std::string& root, const Args& paths) {
  for (const std::string& path : paths) {
    if (!is_safe_tree_path(path)) {
      print_error("недопустимый путь: " + path);
      return false;
    }
    if (has_linked_parent(root, path)) {
      print_error("путь проходит через символическую ссылку: " + path);
      return false;
    }
  }
  return true;
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

int cmd_rm(const Args& args) {
  if (args.empty() || has_help_flag(args)) {
    cmd_help({"rm"});
    return args.empty() ? 1 : 0;
  }
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  if (!check_paths(repo->root, args)) return 1;

  RepoLock lock(repo->root);  // spans the index's read-modify-write
  Index index = load_index(*repo);
  for (const std::string& path : args) {
    index.erase(path);
    const std::string full = repo->root + "/" + path;
    if (path_exists(full)) std::filesystem::remove(full);
    out_stream() << "удалён " << path << "\n";
  }
  save_index(*repo, index);
  return 0;
}

int cmd_mv(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"mv"});
  if (args.size() != 2) {
    cmd_help({"mv"});
    return 1;
  }
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  if (!check_paths(repo->root, args)) return 1;

  RepoLock lock(repo->root);  // spans the index's read-modify-write
  const std::string& from = args[0];
  const std::string& to = args[1];
  const std::string source = repo->root + "/" + from;
  const std::string destination = repo->root + "/" + to;
  if (!path_exists(source)) {
    print_error("файл не найден: " + from);
    return 1;
  }
  std::error_code ec;
  std::filesystem::create_directories(parent_directory(destination), ec);
  if (!ec) std::filesystem::rename(source, destination, ec);
  if (ec) {
    print_error("не удалось переименовать", ec.message());
    return 1;
  }
  Index index = load_index(*repo);
  carry_index_entry(index, from, to);
  save_index(*repo, index);
  out_stream() << "переименовано " << from << " -> " << to << "\n";
  return 0;
}
