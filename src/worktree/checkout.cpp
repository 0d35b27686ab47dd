#include "worktree/checkout.h"

#include <ostream>
#include <vector>

#include "cli/help.h"
#include "cli/open_repo.h"
#include "store/config.h"
#include "store/fs.h"
#include "store/refs.h"
#include "store/repo.h"
#include "store/revision.h"
#include "worktree/branch.h"
#include "worktree/tree_writer.h"

// .orrery/previous-branch holds "<branch name>\n": the branch HEAD was on
// before the last switch, read back by "checkout -".

namespace {

// A commit's files, checked and ready to write.
struct PreparedFiles {
  TreeFiles plan;
};

// Reads the commit and checks its whole tree; reports failures itself.
std::optional<PreparedFiles> prepare_commit_files(const Repository& repo, const ObjectId& commit) {
  std::optional<Commit> parsed = read_commit(repo.objects, commit);
  if (!parsed) {
    print_error("неверный объект коммита: " + commit);
    return std::nullopt;
  }
  try {
    return PreparedFiles{plan_tree_files(repo.objects, parsed->tree, repo.root)};
  } catch (const std::exception& e) {
    print_error(e.what());
    return std::nullopt;
  }
}

bool write_commit_files(const Repository& repo, const PreparedFiles& files) {
  try {
    // The index keeps describing what it did; only the stats of files
    // found to hold its blobs are refreshed, so the next checkout or status
    // need not read them again.
    KnownFiles known = load_known_files(repo);
    WrittenFiles written;
    write_planned_files(repo.objects, repo.root, files.plan, &known, &written);
    refresh_index_stats(repo, known, written);
    return true;
  } catch (const std::exception& e) {
    print_error(e.what());
    return false;
  }
}

std::optional<ObjectId> branch_commit(const Repository& repo, const std::string& name) {
  if (!is_valid_ref_name(name)) return std::nullopt;
  return read_ref(repo.root, "refs/heads/" + name);
}

int checkout_previous(const Repository& repo) {
  std::optional<std::string> name = read_previous_branch(repo);
  if (!name) {
    print_error("checkout -: нет сохранённой предыдущей ветки",
                "сначала переключись между двумя локальными ветками (orrery switch … / orrery "
                "checkout …)");
    return 1;
  }
  std::optional<ObjectId> commit = branch_commit(repo, *name);
  if (!commit) {
    print_error("checkout -: ветка больше не существует: " + *name,
                "проверь refs/heads после удаления ветки; переключись явно по имени");
    return 1;
  }
  return switch_to_branch(repo, *name, commit);
}

int checkout_detached(const Repository& repo, const ObjectId& commit) {
  if (!checkout_commit_files(repo, commit)) return 1;
  detach_head(repo, commit);
  out_stream() << "Отсоединённый HEAD на " << commit.substr(0, 12) << "…\n";
  return 0;
}

// The start point of a new branch: a local branch, else a remote-tracking one.
struct StartPoint {
  ObjectId commit;
  bool is_remote = false;
};

std::optional<StartPoint> find_start_point(const Repository& repo, const std::string& name) {
  if (!is_safe_relpath(name)) return std::nullopt;
  if (auto local = read_ref(repo.root, "refs/heads/" + name)) return StartPoint{*local, false};
  if (auto remote = read_ref(repo.root, "refs/remotes/" + name)) return StartPoint{*remote, true};
  return std::nullopt;
}

void record_upstream(const Repository& repo, const std::string& branch, const std::string& start) {
  size_t slash = start.find('/');
  if (slash == std::string::npos || slash == 0 || slash + 1 == start.size()) return;
  RepoConfig config = load_config(repo);
  config.branches[branch].upstream_remote = start.substr(0, slash);
  config.branches[branch].upstream_branch = start.substr(slash + 1);
  save_config(repo, config);
}

int checkout_new_branch(const Repository& repo, const Args& args) {
  if (args.size() < 2) {
    print_error("нужно имя новой ветки", "пример: orrery checkout -b topic origin/main");
    return 1;
  }
  const std::string& name = args[1];
  if (!is_valid_ref_name(name)) {
    print_error("недопустимое имя ветки: " + name);
    return 1;
  }
  if (path_exists(orrery_path(repo, "refs/heads/" + name))) {
    print_error("ветка уже существует: " + name);
    return 1;
  }
  if (args.size() > 3) {
    print_error("слишком много аргументов", "используй: orrery checkout -b <новая> [старт-точка]");
    return 1;
  }
  std::optional<StartPoint> start;
  if (args.size() == 3) {
    start = find_start_point(repo, args[2]);
    if (!start) {
      print_error("не найден коммит/ветка: " + args[2],
                  "проверь имя локальной ветки или remote-tracking (например origin/main), сделай "
                  "fetch");
      return 1;
    }
  } else if (std::optional<ObjectId> head = head_commit(repo)) {
    start = StartPoint{*head, false};
  } else {
    print_error("нет коммитов", "нечего использовать как старт-точку");
    return 1;
  }
  std::optional<PreparedFiles> files = prepare_commit_files(repo, start->commit);
  if (!files) return 1;
  save_previous_branch(repo, name);
  update_ref(repo, "refs/heads/" + name, start->commit);
  set_head_symbolic(repo, "refs/heads/" + name);
  if (!write_commit_files(repo, *files)) return 1;
  if (start->is_remote) record_upstream(repo, name, args[2]);
  out_stream() << "Переключено на новую ветку «" << name << "»";
  if (args.size() == 3) out_stream() << " (точка старта: " << args[2] << ")";
  out_stream() << "\n";
  return 0;
}

}  // namespace

bool checkout_commit_files(const Repository& repo, const ObjectId& commit) {
  std::optional<PreparedFiles> files = prepare_commit_files(repo, commit);
  return files && write_commit_files(repo, *files);
}

int switch_to_branch(const Repository& repo, const std::string& name,
                     std::optional<ObjectId> commit) {
  if (!commit) commit = branch_commit(repo, name);
  if (!commit) {
    print_error("ветка не найдена: " + name, "локальное имя ветки после orrery branch …");
    return 1;
  }
  std::optional<PreparedFiles> files = prepare_commit_files(repo, *commit);
  if (!files) return 1;
  save_previous_branch(repo, name);
  set_head_symbolic(repo, "refs/heads/" + name);
  if (!write_commit_files(repo, *files)) return 1;
  out_stream() << "Переключено на ветку «" << name << "»\n";
  return 0;
}

void save_previous_branch(const Repository& repo, const std::string& target) {
  std::optional<std::string> head_ref = head_symref(repo);
  if (!head_ref || head_ref->rfind("refs/heads/", 0) != 0) return;
  std::string current = head_ref->substr(11);
  if (current != target) write_file_atomic(orrery_path(repo, "previous-branch"), current + "\n");
}

std::optional<std::string> read_previous_branch(const Repository& repo) {
  std::string text;
  if (!read_store_file(orrery_path(repo, "previous-branch"), text)) return std::nullopt;
  size_t end = text.find_last_not_of("\n\r \t");
  text.resize(end == std::string::npos ? 0 : end + 1);
  text.erase(0, text.find_first_not_of(" \t"));
  if (text.empty()) return std::nullopt;
  return text;
}

int cmd_checkout(const Args& args) {
  if (args.empty()) {
    cmd_help({"checkout"});
    return 1;
  }
  if (has_help_flag(args)) return cmd_help({"checkout"});

  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;

  if (args.front() == "-b" || args.front() == "--branch") return checkout_new_branch(*repo, args);
  if (args.size() != 1) {
    print_error("неверное число аргументов",
                "используй: orrery checkout <ветка> или orrery checkout -b ...");
    return 1;
  }
  const std::string& target = args.front();
  if (target == "-") return checkout_previous(*repo);
  if (std::optional<ObjectId> commit = branch_commit(*repo, target)) {
    return switch_to_branch(*repo, target, commit);
  }
  std::optional<ObjectId> commit = resolve_revision(*repo, target);
  if (commit && is_commit(repo->objects, *commit)) return checkout_detached(*repo, *commit);
  print_error("не найдена ветка или коммит: " + target,
              "локальное имя ветки, полный SHA-256 коммита, HEAD~N и т.п.; создание после fetch: "
              "orrery checkout -b <имя> origin/<ветка>");
  return 1;
}

namespace {

struct SwitchOptions {
  bool create = false;
  std::optional<std::string> create_name;  // from --create=<name>
  std::vector<std::string> positional;
};

std::optional<SwitchOptions> parse_switch_args(const Args& args) {
  SwitchOptions options;
  for (const std::string& arg : args) {
    if (arg == "-c" || arg == "--create") {
      options.create = true;
    } else if (arg.rfind("--create=", 0) == 0) {
      if (arg.size() == 9) {
        print_error("ожидается имя ветки после --create=", "пример: orrery switch --create=topic");
        return std::nullopt;
      }
      if (options.create_name) {
        print_error("повторное имя для --create", "используй один вид: -c или --create=");
        return std::nullopt;
      }
      options.create = true;
      options.create_name = arg.substr(9);
    } else if (arg.empty() || arg == "-" || arg.front() != '-') {
      options.positional.push_back(arg);
    } else {
      print_error("неизвестный флаг: " + arg, "switch: см. orrery help switch");
      return std::nullopt;
    }
  }
  return options;
}

int switch_create(const SwitchOptions& options) {
  Args checkout_args{"-b"};
  if (options.create_name) {
    if (options.positional.size() > 1) {
      print_error("слишком много аргументов", "формат: orrery switch --create=<ветка> [старт]");
      return 1;
    }
    checkout_args.push_back(*options.create_name);
  } else if (options.positional.empty()) {
    print_error("укажи имя новой ветки", "пример: orrery switch -c topic [старт]");
    return 1;
  } else if (options.positional.size() > 2) {
    print_error("слишком много аргументов", "формат: orrery switch -c <ветка> [старт]");
    return 1;
  }
  checkout_args.insert(checkout_args.end(), options.positional.begin(), options.positional.end());
  return cmd_checkout(checkout_args);
}

}  // namespace

int cmd_switch(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"switch"});
  if (args.empty()) {
    cmd_help({"switch"});
    return 1;
  }
  std::optional<SwitchOptions> options = parse_switch_args(args);
  if (!options) return 1;
  if (options->create) return switch_create(*options);
  if (options->positional.size() != 1) {
    print_error("неверное число аргументов",
                "переключение: orrery switch <ветка>; создание: orrery switch -c <ветка> [старт]");
    return 1;
  }
  const std::string& name = options->positional.front();
  if (name == "-") return cmd_checkout({"-"});
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  if (!branch_commit(*repo, name)) {
    print_error("нет локальной ветки: " + name,
                "для ревизии: 'orrery checkout <ревизия>'; новая ветка: 'orrery switch -c <имя> "
                "[старт]'");
    return 1;
  }
  return cmd_checkout({name});
}
