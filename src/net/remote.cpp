#include "net/remote.h"

#include <algorithm>
#include <filesystem>
#include <ostream>

#include "cli/command_error.h"
#include "cli/help.h"
#include "cli/open_repo.h"
#include "net/internal/sync_target.h"
#include "store/config.h"
#include "store/refs.h"
#include "store/repo.h"

namespace fs = std::filesystem;

namespace {

// The remote name becomes a folder below .orrery and a configuration
// section: checked the way fetch checks it.
void check_remote_name(const std::string& name) {
  if (std::optional<ArgError> bad = check_tracking_names(name, "main")) {
    throw CommandError(std::move(*bad));
  }
}

void show_remote(const Repository& repo, const RepoConfig& config, const std::string& name,
                 RemoteShow& shown) {
  auto remote = config.remotes.find(name);
  if (remote == config.remotes.end()) throw CommandError("удалённый не найден: " + name, "");
  check_remote_name(name);
  shown.url = remote->second.url;
  shown.branches = list_remote_branches(repo.root, name);
  for (const auto& [local, entry] : config.branches) {
    if (entry.upstream_remote != name) continue;
    shown.tracking.emplace_back(local, entry.upstream_branch.value_or(local));
  }
}

bool has_control_byte(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

void add_remote(const Repository& repo, RepoConfig config, const std::string& name,
                const std::string& url) {
  check_remote_name(name);
  // A line break would start a new line of the configuration.
  if (has_control_byte(url)) throw CommandError("недопустимый URL удалённого: " + name, "");
  config.remotes[name].url = url;
  save_config(repo, config);
}

void remove_remote(const Repository& repo, RepoConfig config, const std::string& name) {
  config.remotes.erase(name);
  if (config.upstream_remote == name) {
    config.upstream_remote.reset();
    config.upstream_branch.reset();
  }
  std::erase_if(config.branches,
                [&](const auto& entry) { return entry.second.upstream_remote == name; });
  save_config(repo, config);
}

void print_shown_remote(const RemoteShow& shown) {
  std::ostream& out = out_stream();
  out << "* удалённый " << shown.name << "\n"
      << "  url: " << shown.url << "\n";
  if (!shown.branches.empty()) out << "  ветки на удалённом:\n";
  for (const std::string& branch : shown.branches) out << "    " << branch << "\n";
  if (!shown.tracking.empty()) out << "  отслеживание:\n";
  for (const auto& [local, branch] : shown.tracking) {
    out << "    " << local << " -> " << shown.name << "/" << branch << "\n";
  }
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

Parsed<RemoteOptions> parse_remote_args(const Args& args) {
  if (args.empty()) return RemoteOptions{};
  const std::string& verb = args[0];
  if (verb == "show" && args.size() >= 2) return RemoteOptions{RemoteAction::show, args[1], ""};
  if (verb == "add" && args.size() >= 3) return RemoteOptions{RemoteAction::add, args[1], args[2]};
  if ((verb == "remove" || verb == "rm") && args.size() >= 2) {
    return RemoteOptions{RemoteAction::remove, args[1], ""};
  }
  return help_error("remote");
}

RemoteResult do_remote(const Repository& repo, const RemoteOptions& opts) {
  RemoteResult result;
  result.action = opts.action;
  RepoConfig config = load_config(repo);
  switch (opts.action) {
    case RemoteAction::list:
      for (const auto& [name, remote] : config.remotes) result.remotes[name] = remote.url;
      break;
    case RemoteAction::show:
      result.shown.name = opts.name;
      show_remote(repo, config, opts.name, result.shown);
      break;
    case RemoteAction::add:
      add_remote(repo, std::move(config), opts.name, opts.url);
      break;
    case RemoteAction::remove:
      remove_remote(repo, std::move(config), opts.name);
      break;
  }
  return result;
}

void print_remote(const RemoteResult& result, bool with_urls) {
  if (result.action == RemoteAction::show) print_shown_remote(result.shown);
  for (const auto& [name, url] : result.remotes) {
    out_stream() << name;
    if (with_urls) out_stream() << "\t" << url;
    out_stream() << "\n";
  }
}

int cmd_remote(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"remote"});
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  Parsed<RemoteOptions> opts = parse_remote_args(args);
  if (const ArgError* error = std::get_if<ArgError>(&opts)) return report_arg_error(*error);
  return report_command_error([&] {
    print_remote(do_remote(*repo, std::get<RemoteOptions>(opts)), g_verbose);
    return 0;
  });
}
