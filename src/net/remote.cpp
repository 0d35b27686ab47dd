#include "net/remote.h"

#include <algorithm>
#include <filesystem>
#include <ostream>

#include "cli/help.h"
#include "cli/open_repo.h"
#include "net/internal/sync_target.h"
#include "store/config.h"
#include "store/refs.h"
#include "store/repo.h"

namespace fs = std::filesystem;

namespace {

void list_remotes(const RepoConfig& config) {
  for (const auto& [name, remote] : config.remotes) {
    out_stream() << name;
    if (g_verbose) out_stream() << "\t" << remote.url;
    out_stream() << "\n";
  }
}

// The remote name becomes a folder below .orrery and a configuration
// section: checked the way fetch checks it.
bool check_remote_name(const std::string& name) {
  if (std::optional<SyncFailure> bad = check_tracking_names(name, "main")) {
    report_sync_failure(*bad);
    return false;
  }
  return true;
}

int show_remote(const Repository& repo, const RepoConfig& config, const std::string& name) {
  auto remote = config.remotes.find(name);
  if (remote == config.remotes.end()) {
    print_error("удалённый не найден: " + name);
    return 1;
  }
  if (!check_remote_name(name)) return 1;
  std::ostream& out = out_stream();
  out << "* удалённый " << name << "\n"
      << "  url: " << remote->second.url << "\n";
  const std::vector<std::string> branches = list_remote_branches(repo.root, name);
  if (!branches.empty()) out << "  ветки на удалённом:\n";
  for (const std::string& branch : branches) out << "    " << branch << "\n";
  bool first = true;
  for (const auto& [local, entry] : config.branches) {
    if (entry.upstream_remote != name) continue;
    if (first) out << "  отслеживание:\n";
    first = false;
    out << "    " << local << " -> " << name << "/" << entry.upstream_branch.value_or(local)
        << "\n";
  }
  return 0;
}

bool has_control_byte(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

int add_remote(const Repository& repo, RepoConfig config, const std::string& name,
               const std::string& url) {
  if (!check_remote_name(name)) return 1;
  // A line break would start a new line of the configuration.
  if (has_control_byte(url)) {
    print_error("недопустимый URL удалённого: " + name);
    return 1;
  }
  config.remotes[name].url = url;
  save_config(repo, config);
  return 0;
}

int remove_remote(const Repository& repo, RepoConfig config, const std::string& name) {
  config.remotes.erase(name);
  if (config.upstream_remote == name) {
    config.upstream_remote.reset();
    config.upstream_branch.reset();
  }
  std::erase_if(config.branches,
                [&](const auto& entry) { return entry.second.upstream_remote == name; });
  save_config(repo, config);
  return 0;
}

}  // namespace

std::vector<std::string> list_remote_branches(const std::string& root, const std::string& remote) {
  const fs::path dir = orrery_path(root, "refs/remotes/" + remote);
  std::vector<std::string> names;
  if (!fs::is_directory(fs::symlink_status(dir))) return names;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir)) {
    if (!entry.is_regular_file() || entry.is_symlink()) continue;
    if (is_temp_file_name(entry.path().filename().string())) continue;
    names.push_back(entry.path().lexically_relative(dir).generic_string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

int cmd_remote(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"remote"});
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  RepoConfig config = load_config(*repo);

  const std::string verb = args.empty() ? "" : args[0];
  if (args.empty()) {
    list_remotes(config);
    return 0;
  }
  if (verb == "show" && args.size() >= 2) return show_remote(*repo, config, args[1]);
  if (verb == "add" && args.size() >= 3) return add_remote(*repo, config, args[1], args[2]);
  if ((verb == "remove" || verb == "rm") && args.size() >= 2) {
    return remove_remote(*repo, config, args[1]);
  }
  cmd_help({"remote"});
  return 1;
}
