#include "store/config.h"

#include <stdexcept>

#include "store/fs.h"
#include "store/internal/text.h"
#include "store/repo.h"
#include "util/text.h"

// .orrery/config is written as
//
//   [remote "<name>"]            one block per remote, in name order
//   url = <url>
//   <empty line>
//   [branch "<name>"]            one block per branch, in name order
//   upstream.remote = <remote>   (each key only when set)
//   upstream.branch = <branch>
//   <empty line>
//   [branch]                     only when a repository-wide upstream is set
//   upstream.remote = <remote>
//   upstream.branch = <branch>
//   <empty line>

namespace {

// The name in `<word> "<name>"...`, or nothing when the section has not
// exactly that shape (one space, the quote right after it).
std::optional<std::string> quoted_name(std::string_view section, std::string_view word) {
  if (section.size() <= word.size() + 1 || section.substr(0, word.size()) != word ||
      section[word.size()] != ' ' || section[word.size() + 1] != '"') {
    return std::nullopt;
  }
  size_t open = word.size() + 1;
  size_t close = section.find('"', open + 1);
  if (close == std::string_view::npos) return std::nullopt;
  return std::string(section.substr(open + 1, close - open - 1));
}

void apply_upstream_key(std::string_view key, std::string_view value,
                        std::optional<std::string>& remote, std::optional<std::string>& branch) {
  if (key == "upstream.remote") remote = std::string(value);
  if (key == "upstream.branch") branch = std::string(value);
}

void apply_pair(RepoConfig& config, std::string_view section, std::string_view key,
                std::string_view value) {
  if (std::optional<std::string> remote = quoted_name(section, "remote")) {
    if (key == "url") config.remotes[*remote].url = std::string(value);
  } else if (section == "branch") {
    apply_upstream_key(key, value, config.upstream_remote, config.upstream_branch);
  } else if (std::optional<std::string> branch = quoted_name(section, "branch")) {
    if (key != "upstream.remote" && key != "upstream.branch") return;
    BranchConfig& entry = config.branches[*branch];
    apply_upstream_key(key, value, entry.upstream_remote, entry.upstream_branch);
  }
}

void append_upstream_lines(std::string& out, const std::optional<std::string>& remote,
                           const std::optional<std::string>& branch) {
  if (remote) out.append("upstream.remote = ").append(*remote).append("\n");
  if (branch) out.append("upstream.branch = ").append(*branch).append("\n");
}

}  // namespace

RepoConfig parse_config(std::string_view text) {
  RepoConfig config;
  std::string section;
  while (!text.empty()) {
    std::string_view line = take_line(text);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = trim(line);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = std::string(trim(line.substr(1, line.size() - 2)));
      continue;
    }
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    apply_pair(config, section, trim(line.substr(0, equals)), trim(line.substr(equals + 1)));
  }
  return config;
}

std::string serialize_config(const RepoConfig& config) {
  std::string out;
  for (const auto& [name, remote] : config.remotes) {
    out.append("[remote \"").append(name).append("\"]\n");
    out.append("url = ").append(remote.url).append("\n\n");
  }
  for (const auto& [name, branch] : config.branches) {
    out.append("[branch \"").append(name).append("\"]\n");
    append_upstream_lines(out, branch.upstream_remote, branch.upstream_branch);
    out.append("\n");
  }
  if (config.upstream_remote || config.upstream_branch) {
    out.append("[branch]\n");
    append_upstream_lines(out, config.upstream_remote, config.upstream_branch);
    out.append("\n");
  }
  return out;
}

namespace {

void check_reads_back(const RepoConfig& one, const std::string& section) {
  if (!(parse_config(serialize_config(one)) == one)) {
    throw std::runtime_error("Configuration text would not read back: " + section);
  }
}

}  // namespace

void check_config(const RepoConfig& config) {
  // Section by section, so that the error names the one at fault.
  for (const auto& [name, remote] : config.remotes) {
    RepoConfig one;
    one.remotes.emplace(name, remote);
    check_reads_back(one, "remote " + name);
  }
  for (const auto& [name, branch] : config.branches) {
    RepoConfig one;
    one.branches.emplace(name, branch);
    check_reads_back(one, "branch " + name);
  }
  RepoConfig top;
  top.upstream_remote = config.upstream_remote;
  top.upstream_branch = config.upstream_branch;
  check_reads_back(top, "branch");
}

RepoConfig load_config(const Repository& repo) {
  std::string text;
  if (!read_store_file(orrery_path(repo, "config"), text)) return {};
  return parse_config(text);
}

void save_config(const Repository& repo, const RepoConfig& config) {
  check_config(config);
  write_file_atomic(orrery_path(repo, "config"), serialize_config(config), Durability::synced);
}
