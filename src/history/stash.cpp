#include "history/stash.h"

#include <ostream>

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

int list_stash(const Repository& repo) {
  std::string out;
  const std::vector<StashEntry> chain = read_stash_chain(repo);
  for (size_t i = 0; i < chain.size(); ++i) {
    const std::string& message = chain[i].commit.message;
    out.append("stash@{").append(std::to_string(i)).append("}: ");
    out.append(chain[i].id.substr(0, 12)).append(" ");
    out.append(message.substr(0, message.find('\n'))).append("\n");
  }
  out_stream() << out;
  return 0;
}

// N of the optional selector (0 without one); reports a malformed one.
std::optional<uint32_t> selector_or_report(const Args& rest, std::string_view hint) {
  std::optional<uint32_t> n = rest.empty() ? 0 : parse_stash_selector(rest.front());
  if (!n) print_error("ожидался формат stash@{N}", hint);
  return n;
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
bool apply_entry(const Repository& repo, const StashEntry& entry) {
  std::optional<PathMap> files = writable_paths(repo, entry);
  if (!files) {
    print_error("stash повреждён");
    return false;
  }
  const KnownFiles known = load_known_files(repo);
  write_path_map(repo, *files, &known);
  save_index(repo, index_from_tree(*files));
  return true;
}

int apply_or_pop(const Repository& repo, const Args& rest, bool pop) {
  const std::string usage = pop ? "orrery stash pop [stash@{0}]" : "orrery stash apply [stash@{N}]";
  if (rest.size() >= 2) {
    print_error("слишком много аргументов", usage);
    return 1;
  }
  std::optional<uint32_t> n = selector_or_report(rest, usage);
  if (!n) return 1;
  if (pop && *n != 0) {
    print_error("orrery stash pop применим только к вершине списка (stash@{0})",
                "для промежуточной записи сначала orrery stash apply stash@{…}, затем по "
                "очереди pop/drop верхней");
    return 1;
  }
  const std::vector<StashEntry> chain = read_stash_chain(repo);
  if (!has_stash_entry_or_report(repo, chain, *n) || !apply_entry(repo, chain[*n])) return 1;
  if (pop) drop_stash_entry(repo, chain, 0);
  out_stream() << "стэш применён\n";
  return 0;
}

int drop(const Repository& repo, const Args& rest) {
  if (rest.size() >= 2) {
    print_error("слишком много аргументов", "orrery stash drop [stash@{N}]");
    return 1;
  }
  std::optional<uint32_t> n = selector_or_report(rest, "например: orrery stash drop stash@{1}");
  if (!n) return 1;
  const std::vector<StashEntry> chain = read_stash_chain(repo);
  if (!has_stash_entry_or_report(repo, chain, *n)) return 1;
  drop_stash_entry(repo, chain, *n);
  out_stream() << "удалён stash@{" << *n << "} (" << chain[*n].id << ")\n";
  return 0;
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

bool has_stash_entry_or_report(const Repository& repo, const std::vector<StashEntry>& chain,
                               size_t n) {
  if (!read_ref(repo.root, k_stash_ref)) {
    print_error("stash пуст");
    return false;
  }
  if (n >= chain.size()) {
    print_error("нет stash@{" + std::to_string(n) + "}", "выполни orrery stash list");
    return false;
  }
  return true;
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

int cmd_stash(const Args& args) {
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  if (!args.empty() && has_help_flag(args)) return cmd_help({"stash"});

  const std::string word = args.empty() ? "list" : args.front();
  const Args rest(args.empty() ? args.end() : args.begin() + 1, args.end());
  if (word == "list") return list_stash(*repo);
  if (word == "save") return save_stash(*repo, rest);
  if (word == "show") return show_stash(*repo, rest);
  if (word == "apply" || word == "pop") return apply_or_pop(*repo, rest, word == "pop");
  if (word == "drop") return drop(*repo, rest);
  if (word == "clear") {
    remove_stash_ref(*repo);
    return 0;
  }
  cmd_help({"stash"});
  return 1;
}
