#include "history/stash.h"

#include <ostream>

#include "cli/command_error.h"
#include "cli/help.h"
#include "cli/open_repo.h"
#include "diff/changes.h"
#include "history/internal/stash_save.h"
#include "history/internal/stash_show.h"
#include "history/worktree_files.h"
#include "store/fs.h"
#include "store/refs.h"
#include "store/repo.h"
#include "worktree/reset.h"

// The stack is a chain of ordinary commits: refs/stash names the newest,
// and each entry reaches the next older one through its second parent.
// Entries are never changed in place; dropping one from the middle writes
// new copies of the entries above it.

namespace {

constexpr std::string_view k_stash_ref = "refs/stash";
constexpr uint32_t k_max_selector = 1000000;

void remove_stash_ref(const Repository& repo) {
  RepoLock lock(repo.root);
  remove_path(orrery_path(repo, k_stash_ref));
}

void list_stash(const Repository& repo, std::ostream& stream) {
  std::string out;
  const std::vector<StashEntry> chain = read_stash_chain(repo);
  for (size_t i = 0; i < chain.size(); ++i) {
    const std::string& message = chain[i].commit.message;
    out.append("stash@{").append(std::to_string(i)).append("}: ");
    out.append(chain[i].id.substr(0, 12)).append(" ");
    out.append(message.substr(0, message.find('\n'))).append("\n");
  }
  stream << out;
}

// N of the optional selector (0 without one).
std::optional<ArgError> take_selector(const Args& rest, std::string_view hint, uint32_t& n) {
  std::optional<uint32_t> parsed = rest.empty() ? 0 : parse_stash_selector(rest.front());
  if (!parsed) return ArgError{"ожидался формат stash@{N}", std::string(hint)};
  n = *parsed;
  return std::nullopt;
}

std::optional<ArgError> parse_apply_or_pop(const Args& rest, StashOptions& opts) {
  const bool pop = opts.action == StashAction::pop;
  const std::string usage = pop ? "orrery stash pop [stash@{0}]" : "orrery stash apply [stash@{N}]";
  if (rest.size() >= 2) return ArgError{"слишком много аргументов", usage};
  if (std::optional<ArgError> error = take_selector(rest, usage, opts.entry)) return error;
  if (pop && opts.entry != 0) {
    return ArgError{"orrery stash pop применим только к вершине списка (stash@{0})",
                    "для промежуточной записи сначала orrery stash apply stash@{…}, затем по "
                    "очереди pop/drop верхней"};
  }
  return std::nullopt;
}

std::optional<ArgError> parse_drop(const Args& rest, StashOptions& opts) {
  if (rest.size() >= 2) {
    return ArgError{"слишком много аргументов", "orrery stash drop [stash@{N}]"};
  }
  return take_selector(rest, "например: orrery stash drop stash@{1}", opts.entry);
}

std::optional<ArgError> parse_show(const Args& rest, StashOptions& opts) {
  constexpr std::string_view k_usage =
      "orrery stash show [-p|--patch|--stat|--shortstat] [stash@{N}]";
  bool patch = false, stat = false, shortstat = false;
  Args selector;
  for (const std::string& arg : rest) {
    if (arg == "-p" || arg == "--patch") {
      patch = true;
    } else if (arg == "--stat") {
      stat = true;
    } else if (arg == "--shortstat") {
      shortstat = true;
    } else if (arg.empty() || arg.front() == '-') {
      return ArgError{"неизвестная опция stash show: " + arg, std::string(k_usage)};
    } else if (!selector.empty()) {
      return ArgError{"лишний аргумент stash show", std::string(k_usage)};
    } else {
      selector.push_back(arg);
    }
  }
  if (stat && shortstat) {
    return ArgError{"нельзя сочетать --stat и --shortstat",
                    "orrery stash show [--stat|--shortstat] [stash@{N}]"};
  }
  if (patch && (stat || shortstat)) {
    return ArgError{"нельзя сочетать -p|--patch со --stat|--shortstat",
                    "выбери один вид вывода: orrery stash show …"};
  }
  opts.format = patch       ? StashShowFormat::patch
                : stat      ? StashShowFormat::stat
                : shortstat ? StashShowFormat::shortstat
                            : StashShowFormat::paths;
  return take_selector(selector, "например: stash@{1}", opts.entry);
}

// The message after the first "-m"; every other word is ignored.
void parse_save(const Args& rest, StashOptions& opts) {
  for (size_t i = 0; i + 1 < rest.size(); ++i) {
    if (rest[i] == "-m") {
      opts.message = rest[i + 1];
      return;
    }
  }
}

// The subcommand a word names; nothing for an unknown word.
std::optional<StashAction> stash_action(const std::string& word) {
  static constexpr std::pair<std::string_view, StashAction> k_words[] = {
      {"list", StashAction::list},   {"save", StashAction::save}, {"show", StashAction::show},
      {"apply", StashAction::apply}, {"pop", StashAction::pop},   {"drop", StashAction::drop},
      {"clear", StashAction::clear},
  };
  for (const auto& [name, action] : k_words) {
    if (word == name) return action;
  }
  return std::nullopt;
}

// The entry's paths, when every one of them may be written: none unsafe,
// none below a symlink. An entry that cannot be written whole is refused
// before anything is written.
std::optional<PathMap> writable_paths(const Repository& repo, const StashEntry& entry) {
  PathMap files;
  try {
    flatten_tree(repo.objects, entry.commit.tree, "", files);
  } catch (const std::runtime_error&) {
    return std::nullopt;
  }
  WorkingTreeWriter writer(repo.root);
  for (const auto& [path, id] : files) {
    if (!writer.allows(path)) return std::nullopt;
  }
  return files;
}

// Writes every blob of the entry into the working tree, replacing what is
// there (a file the index proves to hold its blob already is left alone),
// and makes the index hold exactly the entry's paths.
void apply_entry(const Repository& repo, const StashEntry& entry) {
  std::optional<PathMap> files = writable_paths(repo, entry);
  if (!files) throw CommandError("stash повреждён", "");
  const KnownFiles known = load_known_files(repo);
  write_path_map(repo, *files, &known);
  save_index(repo, index_from_tree(*files));
}

}  // namespace

std::optional<uint32_t> parse_stash_selector(std::string_view text) {
  constexpr std::string_view k_open = "stash@{";
  if (text.size() < 9 || text.substr(0, k_open.size()) != k_open || text.back() != '}') {
    return std::nullopt;
  }
  uint32_t value = 0;
  for (char c : text.substr(k_open.size(), text.size() - k_open.size() - 1)) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(c - '0');
    if (value > k_max_selector) return std::nullopt;
  }
  return value;
}

std::vector<StashEntry> read_stash_chain(const Repository& repo) {
  std::vector<StashEntry> chain;
  std::optional<std::string> next = read_ref(repo.root, k_stash_ref);
  while (next) {
    std::optional<Commit> commit = read_commit_if_intact(repo.objects, *next);
    if (!commit) break;
    std::optional<std::string> older;
    if (commit->parents.size() >= 2) older = commit->parents[1];
    chain.push_back({std::move(*next), std::move(*commit)});
    next = std::move(older);
  }
  return chain;
}

const StashEntry& stash_entry(const Repository& repo, const std::vector<StashEntry>& chain,
                              size_t n) {
  if (!read_ref(repo.root, k_stash_ref)) throw CommandError("stash пуст", "");
  if (n >= chain.size()) {
    throw CommandError("нет stash@{" + std::to_string(n) + "}", "выполни orrery stash list");
  }
  return chain[n];
}

void drop_stash_entry(const Repository& repo, const std::vector<StashEntry>& chain, size_t n) {
  std::optional<ObjectId> below;
  if (chain[n].commit.parents.size() >= 2) below = chain[n].commit.parents[1];
  for (size_t i = n; i-- > 0;) {
    Commit copy = chain[i].commit;
    copy.parents.resize(1);
    if (below) copy.parents.push_back(*below);
    below = write_object(repo.objects, "commit", serialize_commit(copy));
  }
  if (below) {
    update_ref(repo, std::string(k_stash_ref), *below);
  } else {
    remove_stash_ref(repo);
  }
}

Parsed<StashOptions> parse_stash_args(const Args& args) {
  StashOptions opts;
  if (args.empty()) return opts;
  std::optional<StashAction> action = stash_action(args.front());
  if (!action) return help_error("stash");
  opts.action = *action;
  const Args rest(args.begin() + 1, args.end());
  std::optional<ArgError> error;
  switch (opts.action) {
    case StashAction::save:
      parse_save(rest, opts);
      break;
    case StashAction::show:
      error = parse_show(rest, opts);
      break;
    case StashAction::apply:
    case StashAction::pop:
      error = parse_apply_or_pop(rest, opts);
      break;
    case StashAction::drop:
      error = parse_drop(rest, opts);
      break;
    default:
      break;
  }
  if (error) return *error;
  return opts;
}

void do_stash(const Repository& repo, const StashOptions& opts, std::ostream& out) {
  switch (opts.action) {
    case StashAction::list:
      return list_stash(repo, out);
    case StashAction::save: {
      const ObjectId id = save_stash(repo, opts.message);  // refused: nothing printed
      out << "стэш сохранён: " << id << "\n";
      return;
    }
    case StashAction::clear:
      return remove_stash_ref(repo);
    default:
      break;
  }
  const std::vector<StashEntry> chain = read_stash_chain(repo);
  const StashEntry& entry = stash_entry(repo, chain, opts.entry);
  if (opts.action == StashAction::show) return show_stash(repo, entry, opts.format, out);
  if (opts.action == StashAction::drop) {
    drop_stash_entry(repo, chain, opts.entry);
    out << "удалён stash@{" << opts.entry << "} (" << entry.id << ")\n";
    return;
  }
  apply_entry(repo, entry);
  if (opts.action == StashAction::pop) drop_stash_entry(repo, chain, 0);
  out << "стэш применён\n";
}

int cmd_stash(const Args& args) {
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  if (!args.empty() && has_help_flag(args)) return cmd_help({"stash"});

  Parsed<StashOptions> opts = parse_stash_args(args);
  if (const ArgError* error = std::get_if<ArgError>(&opts)) return report_arg_error(*error);
  return report_command_error([&] {
    do_stash(*repo, std::get<StashOptions>(opts), out_stream());
    return 0;
  });
}
