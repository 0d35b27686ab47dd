#include "tools/blame.h"

#include <ctime>
#include <ostream>

#include "cli/command_error.h"
#include "cli/help.h"
#include "cli/open_repo.h"
#include "cli/pager.h"
#include "diff/engine.h"
#include "store/fs.h"
#include "store/repo.h"
#include "store/revision.h"
#include "tools/internal/arg_path.h"

// The chain is read once, newest to oldest, and attributed oldest first.
// Locating the file in a commit reads only the trees whose ids differ from
// the previous commit's on the way to it, and a version whose blob id equals
// the previous one is taken over without reading or diffing anything.

namespace {

constexpr std::string_view k_format_hint = "формат: orrery blame [HEAD|ревизия] <файл>";

struct ChainCommit {
  ObjectId id;
  Commit commit;
};

std::vector<ChainCommit> first_parent_chain(const ObjectStore& store, const ObjectId& tip) {
  std::vector<ChainCommit> chain;
  std::optional<ObjectId> next = tip;
  while (next) {
    std::optional<Commit> commit = read_commit(store, *next);
    if (!commit) break;
    std::optional<ObjectId> parent;
    if (!commit->parents.empty()) parent = commit->parents.front();
    chain.push_back({*next, std::move(*commit)});
    next = std::move(parent);
  }
  return chain;
}

// Finds one path in tree after tree. It keeps the trees the last search
// passed through: the search from any of them led to the last answer, so
// meeting one of them again at the same depth ends the search there.
class PathFinder {
 public:
  PathFinder(const ObjectStore& store, const std::string& path) : store_(store) {
    for (size_t start = 0;;) {
      const size_t end = path.find('/', start);
      names_.push_back(path.substr(start, end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }

  std::optional<ObjectId> find(const ObjectId& root) {
    ObjectId tree = root;
    for (size_t depth = 0; depth < names_.size(); ++depth) {
      if (depth < seen_.size() && seen_[depth] == tree) return found_;
      if (depth < seen_.size()) {
        seen_[depth] = tree;
      } else {
        seen_.push_back(tree);
      }
      std::optional<ObjectId> entry = find_entry(tree, names_[depth]);
      if (!entry) {
        seen_.resize(depth + 1);
        return found_ = std::nullopt;
      }
      tree = std::move(*entry);
    }
    return found_ = tree;
  }

 private:
  std::optional<ObjectId> find_entry(const ObjectId& tree, const std::string& name) {
    std::optional<Tree> entries = read_tree(store_, tree);
    if (!entries) return std::nullopt;
    for (const TreeEntry& entry : *entries) {
      if (entry.path == name) return entry.hash;
    }
    return std::nullopt;
  }

  const ObjectStore& store_;
  std::vector<std::string> names_;
  std::vector<ObjectId> seen_;  // the tree met at each depth last time
  std::optional<ObjectId> found_;
};

// The text of a blob: nothing when it is missing, not a blob, or binary.
std::optional<std::string> text_blob(const ObjectStore& store, const ObjectId& id) {
  std::optional<Object> object = read_object(store, id);
  if (!object || object->type != "blob" || is_binary(object->data)) return std::nullopt;
  return std::move(object->data);
}

// One file version with the owner of each of its lines.
struct Version {
  ObjectId blob;
  std::string content;
  std::vector<uint32_t> owners;
};

// Carries the owners of `before` over to `after` along their edit script.
bool carry_owners(const Version& before, Version& after, uint32_t commit) {
  const std::vector<std::string_view> old_lines = split_lines(before.content);
  const std::vector<std::string_view> new_lines = split_lines(after.content);
  after.owners.clear();
  size_t old_index = 0;
  for (const EditOp& op : diff_lines(old_lines, new_lines)) {
    if (op.op == '+') {
      after.owners.push_back(commit);
    } else if (old_index < before.owners.size()) {
      if (op.op == ' ') after.owners.push_back(before.owners[old_index]);
      ++old_index;
    } else {
      return false;
    }
  }
  return old_index == old_lines.size() && after.owners.size() == new_lines.size();
}

std::string format_date(uint64_t timestamp) {
  if (timestamp == 0) return "";
  const time_t seconds = static_cast<time_t>(timestamp);
  struct tm parts;
  char text[64];
  if (static_cast<uint64_t>(seconds) != timestamp || gmtime_r(&seconds, &parts) == nullptr ||
      std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &parts) == 0) {
    return "?";
  }
  return text;
}

std::string blamed_path(const Repository& repo, const std::string& cwd, const std::string& arg) {
  std::optional<std::string> path = repo_relative_arg(repo.root, cwd, arg);
  if (!path || path->empty()) {
    throw CommandError(ArgError{"путь недопустим или вне корня репозитория", arg, 2});
  }
  return *path;
}

std::string working_directory() {
  try {
    return current_directory();
  } catch (const std::runtime_error&) {
    throw CommandError(ArgError{"не удалось узнать текущий каталог", "", 2});
  }
}

[[noreturn]] void refuse_blame(const char* reason) {
  throw CommandError(ArgError{"не удалось вычислить blame", reason, 2});
}

}  // namespace

void print_blame(const Blame& blame) {
  std::string out;
  size_t line = 0;
  for (std::string_view text : split_lines(blame.content)) {
    out.append(blame.labels[blame.owners[line++]]).append("\t").append(text).append("\n");
  }
  out_stream() << out;
}

Parsed<BlameOptions> parse_blame_args(const Args& args) {
  std::vector<std::string> positional;
  bool options_ended = false;
  for (const std::string& arg : args) {
    if (!options_ended && arg == "--") {
      options_ended = true;
    } else if (!options_ended && !arg.empty() && arg.front() == '-') {
      return ArgError{"неизвестный флаг (пути, начинающиеся с «-», указывай после «--»)",
                      std::string(k_format_hint) + "   например: orrery blame HEAD readme.txt", 2};
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() > 2) {
    return ArgError{"слишком много позиционных аргументов", std::string(k_format_hint), 2};
  }
  if (positional.empty()) {
    return ArgError{"не указан файл", std::string(k_format_hint), 2};
  }
  BlameOptions out;
  if (positional.size() == 2) out.revision = positional.front();
  out.file = positional.back();
  return out;
}

std::string blame_label(const ObjectId& id, const Commit& commit) {
  std::string label = id.size() < 13 ? id : id.substr(0, 12);
  label.append(" (").append(commit.author.empty() ? "?" : commit.author);
  const std::string date = format_date(commit.timestamp);
  if (!date.empty()) label.append(" ").append(date);
  return label.append(")");
}

Blame blame_file(const Repository& repo, const ObjectId& commit, const std::string& path) {
  const std::vector<ChainCommit> chain = first_parent_chain(repo.objects, commit);
  PathFinder finder(repo.objects, path);
  std::optional<ObjectId> tip_blob;
  if (!chain.empty()) tip_blob = finder.find(chain.front().commit.tree);
  if (!tip_blob || !text_blob(repo.objects, *tip_blob)) {
    refuse_blame("нет текстового файла по этому пути в выбранной ревизии (или файл бинарный)");
  }
  std::optional<Version> previous;
  Version current;
  for (size_t k = chain.size(); k-- > 0;) {
    const uint32_t owner = static_cast<uint32_t>(k);
    std::optional<ObjectId> blob = finder.find(chain[k].commit.tree);
    if (blob && previous && *blob == previous->blob) continue;
    std::optional<std::string> content = blob ? text_blob(repo.objects, *blob) : std::nullopt;
    if (!content) {
      previous.reset();
      continue;
    }
    current.blob = *blob;
    current.content = std::move(*content);
    if (!previous) {
      current.owners.assign(split_lines(current.content).size(), owner);
    } else if (!carry_owners(*previous, current, owner)) {
      refuse_blame("несогласованный построчный diff для blame");
    }
    if (!previous) previous.emplace();
    std::swap(*previous, current);
  }
  if (!previous) {
    refuse_blame(
        "файл не встречается ни в одном коммите цепочки первого родителя от выбранной ревизии");
  }
  Blame blame{std::move(previous->content), std::move(previous->owners), {}};
  blame.labels.resize(chain.size());
  for (uint32_t owner : blame.owners) {
    if (blame.labels[owner].empty())
      blame.labels[owner] = blame_label(chain[owner].id, chain[owner].commit);
  }
  return blame;
}

Blame do_blame(const Repository& repo, const BlameOptions& opts) {
  std::optional<ObjectId> commit = resolve_revision(repo, opts.revision);
  if (!commit) {
    throw CommandError(ArgError{"не удалось распознать ревизию",
                                "задай ветку, тег или полный SHA-256 коммита", 2});
  }
  const std::string path = blamed_path(repo, opts.cwd, opts.file);
  return blame_file(repo, *commit, path);
}

int cmd_blame(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"blame"});

  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  Parsed<BlameOptions> opts = parse_blame_args(args);
  if (const ArgError* error = std::get_if<ArgError>(&opts)) return report_arg_error(*error);

  return report_command_error([&] {
    std::get<BlameOptions>(opts).cwd = working_directory();
    const Blame blame = do_blame(*repo, std::get<BlameOptions>(opts));
    start_pager();
    print_blame(blame);
    return 0;
  });
}
