#include "worktree/internal/repo_path.h"

#include <filesystem>

#include "cli/console.h"
#include "store/fs.h"

namespace fs = std::filesystem;

std::optional<std::string> repo_relative_path(const std::string& root, const std::string& arg) {
  fs::path full = fs::path(arg).is_absolute() ? fs::path(arg) : fs::path(root) / arg;
  full = full.lexically_normal();
  if (!full.has_filename()) full = full.parent_path();
  std::error_code ec;
  const fs::path base = fs::weakly_canonical(root, ec);
  if (ec) return std::nullopt;
  fs::path parent = fs::weakly_canonical(full.parent_path(), ec);
  if (ec) return std::nullopt;
  fs::path relative = (parent / full.filename()).lexically_relative(base);
  if (relative.empty()) return std::nullopt;
  if (relative.begin()->string() == "..") return std::nullopt;
  return relative.generic_string();
}

std::string repo_full_path(const std::string& root, const std::string& arg) {
  return !arg.empty() && arg.front() == '/' ? arg : root + "/" + arg;
}

bool has_linked_parent(const std::string& root, const std::string& path) {
  for (size_t slash = path.find('/'); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    if (is_symbolic_link(root + "/" + path.substr(0, slash))) return true;
  }
  return false;
}

ArgError outside_root_error(const std::string& arg) {
  return ArgError{"путь вне репозитория: " + arg,
                  "пути для add указываются относительно корня репозитория"};
}
