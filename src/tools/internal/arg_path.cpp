#include "tools/internal/arg_path.h"

#include <filesystem>

std::optional<std::string> repo_relative_arg(const std::string& root, const std::string& cwd,
                                             const std::string& arg) {
  namespace fs = std::filesystem;
  const fs::path full = (fs::path(cwd) / arg).lexically_normal();
  std::string text = full.lexically_relative(fs::path(root).lexically_normal()).generic_string();
  if (text.empty() || text == ".." || text.rfind("../", 0) == 0) return std::nullopt;
  if (text.back() == '/') text.pop_back();
  if (text == ".") text.clear();
  return text;
}
