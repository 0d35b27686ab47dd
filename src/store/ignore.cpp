#include "store/ignore.h"

#include "store/fs.h"
#include "store/internal/text.h"
#include "util/text.h"

namespace {

// Backslashes become "/" and leading "/" go. Returns a view of `path` when
// nothing changes (the common case: no allocation), else of `storage`.
std::string_view normalize(std::string_view path, std::string& storage) {
  if (path.find('\\') != std::string_view::npos) {
    storage.assign(path);
    for (char& c : storage) {
      if (c == '\\') c = '/';
    }
    path = storage;
  }
  size_t first = path.find_first_not_of('/');
  return path.substr(first == std::string_view::npos ? path.size() : first);
}

bool rule_matches(const IgnoreRule& rule, std::string_view path, bool is_dir) {
  if (rule.dir_only && !is_dir) return false;
  std::string storage;
  std::string_view pattern = normalize(rule.pattern, storage);
  if (pattern.find('/') != std::string_view::npos) return glob_match(pattern, path);
  size_t start = 0;
  for (;;) {
    size_t end = path.find('/', start);
    std::string_view component =
        path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (glob_match(pattern, component)) return true;
    if (end == std::string_view::npos) return false;
    start = end + 1;
  }
}

bool is_under(std::string_view path, std::string_view dir) {
  return path == dir ||
         (path.size() > dir.size() && path.substr(0, dir.size()) == dir && path[dir.size()] == '/');
}

}  // namespace

IgnoreRules parse_ignore_rules(std::string_view text) {
  IgnoreRules rules;
  while (!text.empty()) {
    std::string_view line = take_line(text);
    line = trim(line);
    if (line.empty() || line.front() == '#') continue;
    IgnoreRule rule;
    if (line.front() == '!') {
      rule.negated = true;
      line.remove_prefix(1);
    }
    if (!line.empty() && line.back() == '/') {
      rule.dir_only = true;
      line.remove_suffix(1);
    }
    if (line.empty()) continue;
    rule.pattern = std::string(line);
    rules.push_back(std::move(rule));
  }
  return rules;
}

IgnoreRules load_ignore_rules(const std::string& root) {
  std::string path = root + "/.orreryignore";
  if (!path_exists(path)) return {};
  return parse_ignore_rules(read_file(path));
}

bool is_ignored(const IgnoreRules& rules, std::string_view path, bool is_dir) {
  std::string storage;
  std::string_view normalized = normalize(path, storage);
  if (is_under(normalized, ".orrery") || is_under(normalized, ".git")) return true;
  bool ignored = false;
  for (const IgnoreRule& rule : rules) {
    if (rule_matches(rule, normalized, is_dir)) ignored = !rule.negated;
  }
  return ignored;
}

bool glob_match(std::string_view pattern, std::string_view text) {
  // Greedy matching with one backtrack point: on a mismatch, let the most
  // recent "*" swallow one more byte. Earlier stars never need revisiting
  // because "*" matches any bytes, so this equals the recursive definition
  // in O(pattern x text) time.
  size_t p = 0, t = 0;
  size_t star = std::string_view::npos, star_text = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      while (p < pattern.size() && pattern[p] == '*') ++p;
      star = p;
      star_text = t;
    } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star;
      t = ++star_text;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}
