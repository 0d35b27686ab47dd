#include "worktree/log.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ostream>
#include <unordered_set>

#include "cli/command_error.h"
#include "cli/help.h"
#include "cli/open_repo.h"
#include "cli/pager.h"
#include "store/refs.h"
#include "store/repo.h"
#include "store/revision.h"

// The walk follows first parents only and reads each commit once; output
// goes through one reused line buffer, so a long history costs one object
// read and one parse per commit and nothing more.

namespace {

constexpr std::string_view k_usage =
    "orrery log [--oneline] [--decorate|--no-decorate|--decorate=…] [-n N|--max-count=N] [ревизия]";

// strtol's reading: leading blanks and a sign are fine, trailing text is not.
std::optional<int32_t> parse_count(const std::string& text) {
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || end != text.c_str() + text.size()) return std::nullopt;
  if (value < 1 || value > 1000000) return std::nullopt;
  return static_cast<int32_t>(value);
}

bool is_off_word(std::string value) {
  for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return value == "no" || value == "never" || value == "false";
}

// Every reference below .orrery/<dir>, labelled with `prefix` + its path
// below that directory.
void add_ref_labels(const Repository& repo, std::string_view dir, std::string_view prefix,
                    Decorations& out) {
  for (auto& [name, id] : list_refs_below(repo, dir)) {
    out.labels[id].push_back(std::string(prefix) + name);
  }
}

void append_sorted_unique(std::vector<std::string>& group, std::vector<std::string>& items,
                          std::string_view skip) {
  std::sort(group.begin(), group.end());
  group.erase(std::unique(group.begin(), group.end()), group.end());
  for (std::string& label : group) {
    if (label != skip) items.push_back(std::move(label));
  }
}

void append_full_entry(std::string& out, const ObjectId& id, const Commit& commit,
                       const std::string& decorations) {
  out.append("Коммит ").append(id).append(decorations).append("\n");
  out.append("Автор: ").append(commit.author).append("\n");
  out.append("Дата: ").append(std::to_string(commit.timestamp)).append("\n");
  if (!commit.parents.empty()) {
    out.append("Родители: ");
    for (size_t i = 0; i < commit.parents.size(); ++i) {
      if (i > 0) out.append(", ");
      out.append(commit.parents[i]);
    }
    out.append("\n");
  }
  out.append("\n    ").append(commit.message).append("\n\n");
}

void append_oneline_entry(std::string& out, const ObjectId& id, const Commit& commit,
                          const std::string& decorations) {
  std::string_view message = commit.message;
  out.append(id, 0, 12).append(decorations).append(" ");
  out.append(message.substr(0, message.find('\n'))).append("\n");
}

}  // namespace

void write_log(const Repository& repo, const LogOptions& options, ObjectId current,
               std::ostream& out) {
  std::optional<Decorations> decorations;
  if (options.decorate) decorations = collect_decorations(repo);
  std::string buffer;
  std::string labels;
  int64_t count = 0;
  // A damaged store can hold a commit that is its own ancestor: the listing
  // ends where a commit comes round again.
  std::unordered_set<ObjectId> listed;
  while (!options.max_count || count < *options.max_count) {
    if (!listed.insert(current).second) break;
    std::optional<Commit> commit = read_commit(repo.objects, current);
    if (!commit) break;
    if (decorations) labels = format_decorations(*decorations, current);
    if (options.oneline) {
      append_oneline_entry(buffer, current, *commit, labels);
    } else {
      append_full_entry(buffer, current, *commit, labels);
    }
    ++count;
    if (buffer.size() > 60000) {
      out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      buffer.clear();
    }
    if (commit->parents.empty()) break;
    current = std::move(commit->parents.front());
  }
  out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
}

namespace {

ArgError log_usage_error(const std::string& message) {
  return ArgError{"log: " + message, std::string(k_usage)};
}

}  // namespace

Parsed<LogOptions> parse_log_args(const Args& args) {
  LogOptions options;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--no-decorate") {
      options.decorate = false;
    } else if (arg == "--decorate") {
      options.decorate = true;
    } else if (arg.rfind("--decorate=", 0) == 0) {
      options.decorate = !is_off_word(arg.substr(11));
    } else if (arg == "--oneline") {
      options.oneline = true;
    } else if (arg.rfind("--max-count=", 0) == 0) {
      options.max_count = parse_count(arg.substr(12));
      if (!options.max_count) return log_usage_error("неверное --max-count=…");
    } else if (arg == "-n") {
      if (i + 1 == args.size()) {
        return log_usage_error("ожидается число после -n (сколько последних коммитов показать)");
      }
      options.max_count = parse_count(args[++i]);
      if (!options.max_count) return log_usage_error("неверное число после -n: " + args[i]);
    } else if (!arg.empty() && arg.front() == '-') {
      return log_usage_error("неизвестный флаг: " + arg);
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() > 1) {
    return log_usage_error("ожидается не больше одной ревизии (ветка, HEAD~N, хэш …)");
  }
  if (!positional.empty()) options.revision = positional.front();
  return options;
}

Decorations collect_decorations(const Repository& repo) {
  Decorations out;
  for (auto& [name, id] : list_branches(repo)) out.labels[id].push_back(name);
  add_ref_labels(repo, "refs/remotes", "", out);
  add_ref_labels(repo, "refs/tags", "tag: ", out);
  out.head = head_commit(repo);
  out.head_ref = head_symref(repo);
  return out;
}

std::string format_decorations(const Decorations& decorations, std::string_view id) {
  const bool at_head = decorations.head && *decorations.head == id;
  auto found = decorations.labels.find(std::string(id));
  if (!at_head && found == decorations.labels.end()) return {};

  std::vector<std::string> items;
  std::string skip;
  if (at_head && decorations.head_ref) {
    items.push_back("HEAD -> " + short_ref_name(*decorations.head_ref));
    if (decorations.head_ref->rfind("refs/heads/", 0) == 0) skip = decorations.head_ref->substr(11);
  } else if (at_head) {
    items.push_back("HEAD");
  }
  std::vector<std::string> tags, others;
  if (found != decorations.labels.end()) {
    for (const std::string& label : found->second) {
      (label.rfind("tag: ", 0) == 0 ? tags : others).push_back(label);
    }
  }
  append_sorted_unique(others, items, skip);
  append_sorted_unique(tags, items, {});
  if (items.empty()) return {};
  std::string text = " (";
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += ", ";
    text += items[i];
  }
  return text + ")";
}

std::string short_ref_name(std::string_view name) {
  for (std::string_view prefix : {"refs/heads/", "refs/remotes/"}) {
    if (name.substr(0, prefix.size()) == prefix) return std::string(name.substr(prefix.size()));
  }
  if (name.substr(0, 10) == "refs/tags/") return "tag: " + std::string(name.substr(10));
  return std::string(name);
}

LogResult do_log(const Repository& repo, const LogOptions& options) {
  if (!options.revision) return {head_commit(repo)};
  std::optional<ObjectId> start = resolve_revision(repo, *options.revision);
  if (!start) {
    throw CommandError("log: не удалось разрешить ревизию: " + *options.revision,
                       "orrery log […] <ревизия>");
  }
  return {start};
}

int print_log(const Repository& repo, const LogOptions& options, const LogResult& result) {
  if (!result.start) {
    out_stream() << "Коммитов ещё нет\n";
    return 0;
  }
  start_pager();
  write_log(repo, options, *result.start, out_stream());
  return 0;
}

int cmd_log(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"log"});
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  Parsed<LogOptions> parsed = parse_log_args(args);
  if (auto* error = std::get_if<ArgError>(&parsed)) return report_arg_error(*error);
  const LogOptions& options = std::get<LogOptions>(parsed);
  return report_command_error([&] { return print_log(*repo, options, do_log(*repo, options)); });
}
