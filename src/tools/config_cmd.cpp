#include "tools/config_cmd.h"

#include <algorithm>
#include <ostream>
#include <variant>
#include <vector>

#include "cli/help.h"
#include "cli/open_repo.h"
#include "store/repo.h"

namespace {

constexpr std::string_view k_usage =
    "orrery config [--list|-l|--get ключ|--set ключ значение…|--unset ключ]";
constexpr std::string_view k_key_examples =
    "примеры: remote.origin.url; upstream.remote; upstream.branch; branch.main.upstream.remote";

bool is_mode_flag(const std::string& arg) {
  return arg == "--list" || arg == "-l" || arg == "--get" || arg == "--set" || arg == "--unset";
}

ArgError missing_key_error(ConfigMode mode) {
  if (mode == ConfigMode::get)
    return {"не хватает ключа после --get", "orrery config --get <ключ>"};
  if (mode == ConfigMode::unset) {
    return {"не хватает ключа после --unset", "orrery config --unset <ключ>"};
  }
  return {"не хватает ключа или значения после --set", "orrery config --set <ключ> <значение>"};
}

// A line break or NUL would end the line in .orrery/config and a quote would
// end a section name, so such a key or value could not be read back as it
// was written, and could break the lines after it.
bool has_line_break_or_nul(std::string_view text) {
  return text.find_first_of(std::string_view("\n\r\0", 3)) != std::string_view::npos;
}

bool is_storable_key(std::string_view key, const ConfigKey& parsed) {
  return !has_line_break_or_nul(key) && parsed.name.find('"') == std::string::npos;
}

std::optional<ArgError> take_key(const std::string& key, ConfigOptions& opts) {
  std::optional<ConfigKey> parsed = parse_config_key(key);
  if (!parsed) return ArgError{"неподдерживаемый ключ: " + key, std::string(k_key_examples)};
  if (!is_storable_key(key, *parsed)) {
    return ArgError{"недопустимый символ в ключе config",
                    "ключ не может содержать перевод строки, NUL или кавычку"};
  }
  opts.key = std::move(*parsed);
  return std::nullopt;
}

std::string join_words(const std::vector<std::string>& words) {
  std::string value;
  for (size_t i = 0; i < words.size(); ++i) {
    if (i > 0) value += ' ';
    value += words[i];
  }
  return value;
}

std::optional<ArgError> take_value(const std::vector<std::string>& words, ConfigOptions& opts) {
  if (words.empty()) {
    return ArgError{"нет значения для --set", "orrery config --set <ключ> <значение>"};
  }
  opts.value = join_words(words);
  if (has_line_break_or_nul(opts.value)) {
    return ArgError{"недопустимый символ в значении config",
                    "значение не может содержать перевод строки или NUL"};
  }
  return std::nullopt;
}

// Takes the key after a mode flag at args[i] and, for --set, every word
// after it as the value.
std::optional<ArgError> take_mode_operands(const Args& args, size_t& i, ConfigOptions& opts) {
  const std::string& flag = args[i];
  opts.mode = flag == "--get"   ? ConfigMode::get
              : flag == "--set" ? ConfigMode::set
                                : ConfigMode::unset;
  if (i + 1 == args.size()) return missing_key_error(opts.mode);
  const std::string& key = args[++i];
  if (opts.mode != ConfigMode::set) return take_key(key, opts);
  const std::vector<std::string> words(args.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                       args.end());
  i = args.size();
  if (std::optional<ArgError> error = take_key(key, opts)) return error;
  return take_value(words, opts);
}

std::optional<std::string> BranchConfig::*branch_member(ConfigKey::Field field) {
  return field == ConfigKey::Field::branch_remote ? &BranchConfig::upstream_remote
                                                  : &BranchConfig::upstream_branch;
}

void append_line(std::string& out, std::string_view key, const std::optional<std::string>& value) {
  if (value) out.append(key).append("=").append(*value).append("\n");
}

}  // namespace

Parsed<ConfigOptions> parse_config_args(const Args& args) {
  if (std::count_if(args.begin(), args.end(), is_mode_flag) > 1) {
    return ArgError{"сочетание нескольких режимов config",
                    "используй одно из --list, --get, --set, --unset"};
  }
  ConfigOptions opts;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--list" || arg == "-l") continue;
    if (is_mode_flag(arg)) {
      if (std::optional<ArgError> error = take_mode_operands(args, i, opts)) return *error;
    } else if (!arg.empty() && arg.front() == '-') {
      return ArgError{"неизвестный флаг или опция для config: " + arg, std::string(k_usage)};
    } else {
      return ArgError{"лишний аргумент для config в режиме .orrery: " + arg, std::string(k_usage)};
    }
  }
  return opts;
}

std::optional<ConfigKey> parse_config_key(std::string_view key) {
  using Field = ConfigKey::Field;
  if (key == "upstream.remote") return ConfigKey{Field::upstream_remote, ""};
  if (key == "upstream.branch") return ConfigKey{Field::upstream_branch, ""};
  struct Form {
    std::string_view prefix, suffix;
    Field field;
  };
  static constexpr Form k_forms[] = {
      {"remote.", ".url", Field::remote_url},
      {"branch.", ".upstream.remote", Field::branch_remote},
      {"branch.", ".upstream.branch", Field::branch_branch},
  };
  for (const Form& form : k_forms) {
    if (key.size() <= form.prefix.size() + form.suffix.size()) continue;
    if (key.substr(0, form.prefix.size()) != form.prefix) continue;
    if (key.substr(key.size() - form.suffix.size()) != form.suffix) continue;
    std::string_view name =
        key.substr(form.prefix.size(), key.size() - form.prefix.size() - form.suffix.size());
    return ConfigKey{form.field, std::string(name)};
  }
  return std::nullopt;
}

std::optional<std::string> get_config_value(const RepoConfig& config, const ConfigKey& key) {
  switch (key.field) {
    case ConfigKey::Field::upstream_remote:
      return config.upstream_remote;
    case ConfigKey::Field::upstream_branch:
      return config.upstream_branch;
    case ConfigKey::Field::remote_url: {
      auto it = config.remotes.find(key.name);
      if (it == config.remotes.end()) return std::nullopt;
      return it->second.url;
    }
    default: {
      auto it = config.branches.find(key.name);
      if (it == config.branches.end()) return std::nullopt;
      return it->second.*branch_member(key.field);
    }
  }
}

void set_config_value(RepoConfig& config, const ConfigKey& key, const std::string& value) {
  switch (key.field) {
    case ConfigKey::Field::upstream_remote:
      config.upstream_remote = value;
      break;
    case ConfigKey::Field::upstream_branch:
      config.upstream_branch = value;
      break;
    case ConfigKey::Field::remote_url:
      config.remotes[key.name].url = value;
      break;
    default:
      config.branches[key.name].*branch_member(key.field) = value;
  }
}

void unset_config_value(RepoConfig& config, const ConfigKey& key) {
  switch (key.field) {
    case ConfigKey::Field::upstream_remote:
      config.upstream_remote.reset();
      break;
    case ConfigKey::Field::upstream_branch:
      config.upstream_branch.reset();
      break;
    case ConfigKey::Field::remote_url:
      config.remotes.erase(key.name);
      break;
    default: {
      auto it = config.branches.find(key.name);
      if (it == config.branches.end()) return;
      (it->second.*branch_member(key.field)).reset();
      if (!it->second.upstream_remote && !it->second.upstream_branch) config.branches.erase(it);
    }
  }
}

std::string list_config(const RepoConfig& config) {
  std::string out;
  append_line(out, "upstream.remote", config.upstream_remote);
  append_line(out, "upstream.branch", config.upstream_branch);
  for (const auto& [name, remote] : config.remotes) {
    append_line(out, "remote." + name + ".url", remote.url);
  }
  for (const auto& [name, branch] : config.branches) {
    append_line(out, "branch." + name + ".upstream.remote", branch.upstream_remote);
    append_line(out, "branch." + name + ".upstream.branch", branch.upstream_branch);
  }
  return out;
}

ConfigResult do_config(const Repository& repo, const ConfigOptions& opts) {
  RepoConfig config = load_config(repo);
  switch (opts.mode) {
    case ConfigMode::list:
      return {list_config(config)};
    case ConfigMode::get: {
      std::optional<std::string> value = get_config_value(config, opts.key);
      if (!value) return {"", false};
      return {*value + "\n"};
    }
    case ConfigMode::set:
      set_config_value(config, opts.key, opts.value);
      break;
    case ConfigMode::unset:
      unset_config_value(config, opts.key);
      break;
  }
  save_config(repo, config);
  return {};
}

int print_config(const ConfigResult& result) {
  out_stream() << result.text;
  return result.found ? 0 : 1;
}

int cmd_config(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"config"});

  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  Parsed<ConfigOptions> opts = parse_config_args(args);
  if (const ArgError* error = std::get_if<ArgError>(&opts)) return report_arg_error(*error);

  return print_config(do_config(*repo, std::get<ConfigOptions>(opts)));
}
