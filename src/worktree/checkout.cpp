#include "worktree/checkout.h"

#include <ostream>
#include <vector>

#include "cli/command_error.h"
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

// Reads the commit and checks its whole tree before anything is written:
// its files, ready to write.
TreeFiles prepare_commit_files(const Repository& repo, const ObjectId& commit) {
  std::optional<Commit> parsed = read_commit(repo.objects, commit);
  if (!parsed) throw CommandError("неверный объект коммита: " + commit, "");
  try {
    return plan_tree_files(repo.objects, parsed->tree, repo.root);
  } catch (const std::exception& e) {
    throw CommandError(e.what(), "");
  }
}

void write_commit_files(const Repository& repo, const TreeFiles& files) {
  try {
    // The index keeps describing what it did; only the stats of files
    // found to hold its blobs are refreshed, so the next checkout or status
    // need not read them again.
    KnownFiles known = load_known_files(repo);
    WrittenFiles written;
    write_planned_files(repo.objects, repo.root, files, &known, &written);
    refresh_index_stats(repo, known, written);
  } catch (const std::exception& e) {
    throw CommandError(e.what(), "");
  }
}

std::optional<ObjectId> branch_commit(const Repository& repo, const std::string& name) {
  if (!is_valid_ref_name(name)) return std::nullopt;
  return read_ref(repo.root, "refs/heads/" + name);
}

CheckoutResult switch_to_branch(const Repository& repo, const std::string& name,
                                const ObjectId& commit) {
  const TreeFiles files = prepare_commit_files(repo, commit);
  save_previous_branch(repo, name);
  set_head_symbolic(repo, "refs/heads/" + name);
  write_commit_files(repo, files);
  return {"Переключено на ветку «" + name + "»"};
}

CheckoutResult checkout_previous(const Repository& repo) {
  std::optional<std::string> name = read_previous_branch(repo);
  if (!name) {
    throw CommandError("checkout -: нет сохранённой предыдущей ветки",
                       "сначала переключись между двумя локальными ветками (orrery switch … / "
                       "orrery checkout …)");
  }
  std::optional<ObjectId> commit = branch_commit(repo, *name);
  if (!commit) {
    throw CommandError("checkout -: ветка больше не существует: " + *name,
                       "проверь refs/heads после удаления ветки; переключись явно по имени");
  }
  return switch_to_branch(repo, *name, *commit);
}

CheckoutResult checkout_detached(const Repository& repo, const ObjectId& commit) {
  write_commit_files(repo, prepare_commit_files(repo, commit));
  detach_head(repo, commit);
  return {"Отсоединённый HEAD на " + commit.substr(0, 12) + "…"};
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

CheckoutResult checkout_new_branch(const Repository& repo, const CheckoutOptions& opts) {
  const std::string& name = opts.name;
  if (path_exists(orrery_path(repo, "refs/heads/" + name))) {
    throw CommandError("ветка уже существует: " + name, "");
  }
  if (opts.too_many) {
    throw CommandError("слишком много аргументов",
                       "используй: orrery checkout -b <новая> [старт-точка]");
  }
  std::optional<StartPoint> start;
  if (opts.start_point) {
    start = find_start_point(repo, *opts.start_point);
    if (!start) {
      throw CommandError("не найден коммит/ветка: " + *opts.start_point,
                         "проверь имя локальной ветки или remote-tracking (например origin/main), "
                         "сделай fetch");
    }
  } else if (std::optional<ObjectId> head = head_commit(repo)) {
    start = StartPoint{*head, false};
  } else {
    throw CommandError("нет коммитов", "нечего использовать как старт-точку");
  }
  const TreeFiles files = prepare_commit_files(repo, start->commit);
  save_previous_branch(repo, name);
  update_ref(repo, "refs/heads/" + name, start->commit);
  set_head_symbolic(repo, "refs/heads/" + name);
  write_commit_files(repo, files);
  if (start->is_remote) record_upstream(repo, name, *opts.start_point);
  std::string done = "Переключено на новую ветку «" + name + "»";
  if (opts.start_point) done += " (точка старта: " + *opts.start_point + ")";
  return {done};
}

}  // namespace

Parsed<CheckoutOptions> parse_checkout_args(const Args& args) {
  CheckoutOptions opts;
  if (!args.empty() && (args.front() == "-b" || args.front() == "--branch")) {
    if (args.size() < 2) {
      return ArgError{"нужно имя новой ветки", "пример: orrery checkout -b topic origin/main"};
    }
    opts.mode = CheckoutOptions::Mode::new_branch;
    opts.name = args[1];
    if (!is_valid_ref_name(opts.name)) return ArgError{"недопустимое имя ветки: " + opts.name, ""};
    if (args.size() >= 3) opts.start_point = args[2];
    opts.too_many = args.size() > 3;
    return opts;
  }
  if (args.size() != 1) {
    return ArgError{"неверное число аргументов",
                    "используй: orrery checkout <ветка> или orrery checkout -b ..."};
  }
  opts.name = args.front();
  if (opts.name == "-") opts.mode = CheckoutOptions::Mode::previous;
  return opts;
}

CheckoutResult do_checkout(const Repository& repo, const CheckoutOptions& opts) {
  if (opts.mode == CheckoutOptions::Mode::new_branch) return checkout_new_branch(repo, opts);
  if (opts.mode == CheckoutOptions::Mode::previous) return checkout_previous(repo);
  if (std::optional<ObjectId> commit = branch_commit(repo, opts.name)) {
    return switch_to_branch(repo, opts.name, *commit);
  }
  std::optional<ObjectId> commit = resolve_revision(repo, opts.name);
  if (commit && is_commit(repo.objects, *commit)) return checkout_detached(repo, *commit);
  throw CommandError("не найдена ветка или коммит: " + opts.name,
                     "локальное имя ветки, полный SHA-256 коммита, HEAD~N и т.п.; создание после "
                     "fetch: orrery checkout -b <имя> origin/<ветка>");
}

int print_checkout(const CheckoutResult& result) {
  out_stream() << result.done << "\n";
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
  if (args.empty()) return report_arg_error(help_error("checkout"));
  if (has_help_flag(args)) return cmd_help({"checkout"});
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  Parsed<CheckoutOptions> parsed = parse_checkout_args(args);
  if (auto* error = std::get_if<ArgError>(&parsed)) return report_arg_error(*error);
  return report_command_error(
      [&] { return print_checkout(do_checkout(*repo, std::get<CheckoutOptions>(parsed))); });
}

Parsed<SwitchOptions> parse_switch_args(const Args& args) {
  SwitchOptions options;
  for (const std::string& arg : args) {
    if (arg == "-c" || arg == "--create") {
      options.create = true;
    } else if (arg.rfind("--create=", 0) == 0) {
      if (arg.size() == 9) {
        return ArgError{"ожидается имя ветки после --create=",
                        "пример: orrery switch --create=topic"};
      }
      if (options.create_name) {
        return ArgError{"повторное имя для --create", "используй один вид: -c или --create="};
      }
      options.create = true;
      options.create_name = arg.substr(9);
    } else if (arg.empty() || arg == "-" || arg.front() != '-') {
      options.positional.push_back(arg);
    } else {
      return ArgError{"неизвестный флаг: " + arg, "switch: см. orrery help switch"};
    }
  }
  if (!options.create && options.positional.size() != 1) {
    return ArgError{"неверное число аргументов",
                    "переключение: orrery switch <ветка>; создание: orrery switch -c <ветка> "
                    "[старт]"};
  }
  if (options.create_name && options.positional.size() > 1) {
    return ArgError{"слишком много аргументов", "формат: orrery switch --create=<ветка> [старт]"};
  }
  if (options.create && !options.create_name && options.positional.empty()) {
    return ArgError{"укажи имя новой ветки", "пример: orrery switch -c topic [старт]"};
  }
  if (options.create && !options.create_name && options.positional.size() > 2) {
    return ArgError{"слишком много аргументов", "формат: orrery switch -c <ветка> [старт]"};
  }
  return options;
}

namespace {

// The checkout arguments that carry out a switch.
Args checkout_args_of(const SwitchOptions& options) {
  if (!options.create) return options.positional;
  Args checkout_args{"-b"};
  if (options.create_name) checkout_args.push_back(*options.create_name);
  checkout_args.insert(checkout_args.end(), options.positional.begin(), options.positional.end());
  return checkout_args;
}

}  // namespace

CheckoutResult do_switch(const Repository& repo, const SwitchOptions& opts) {
  // Switching to a name is only for local branches: a revision would detach.
  if (!opts.create && opts.positional.front() != "-" &&
      !branch_commit(repo, opts.positional.front())) {
    throw CommandError("нет локальной ветки: " + opts.positional.front(),
                       "для ревизии: 'orrery checkout <ревизия>'; новая ветка: 'orrery switch -c "
                       "<имя> [старт]'");
  }
  Parsed<CheckoutOptions> checkout = parse_checkout_args(checkout_args_of(opts));
  if (auto* error = std::get_if<ArgError>(&checkout)) throw CommandError(*error);
  return do_checkout(repo, std::get<CheckoutOptions>(checkout));
}

int cmd_switch(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"switch"});
  if (args.empty()) return report_arg_error(help_error("switch"));
  Parsed<SwitchOptions> parsed = parse_switch_args(args);
  if (auto* error = std::get_if<ArgError>(&parsed)) return report_arg_error(*error);
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  return report_command_error(
      [&] { return print_checkout(do_switch(*repo, std::get<SwitchOptions>(parsed))); });
}
