#include "tools/bisect.h"

#include <ostream>

#include "cli/command_error.h"
#include "cli/help.h"
#include "cli/open_repo.h"
#include "store/fs.h"
#include "store/refs.h"
#include "store/repo.h"
#include "store/revision.h"
#include "worktree/checkout.h"

namespace {

constexpr std::string_view k_state_dir = "bisect";

std::string state_path(const Repository& repo, std::string_view name) {
  return orrery_path(repo, std::string(k_state_dir) + "/" + std::string(name));
}

// A state value: the file's text without surrounding blanks; nothing when
// the file is missing or holds only blanks.
std::optional<std::string> read_state(const Repository& repo, std::string_view name) {
  std::string text;
  if (!read_file_into(state_path(repo, name), text)) return std::nullopt;
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::nullopt;
  return text.substr(first, text.find_last_not_of(" \t\r\n") + 1 - first);
}

void write_state(const Repository& repo, std::string_view name, const std::string& value) {
  write_file_atomic(state_path(repo, name), value + "\n");
}

void bisect_start(const Repository& repo, std::ostream& out) {
  std::optional<ObjectId> head = head_commit(repo);
  if (!head) throw CommandError("bisect start: нет коммита на HEAD", "");
  const std::string dir = orrery_path(repo, k_state_dir);
  if (!remove_path(dir)) throw std::runtime_error("Cannot remove directory: " + dir);
  ensure_directory(dir);
  write_state(repo, "original_head_oid", *head);
  write_state(repo, "original_head_ref", head_symref(repo).value_or(""));
  out << "bisect: старт по ветви первого родителя между good и bad.\n";
}

// Checks out a revision as checkout does and answers checkout's line.
std::string check_out(const Repository& repo, const std::string& name) {
  CheckoutOptions options;
  options.name = name;
  return do_checkout(repo, options).done;
}

void bisect_step(const Repository& repo, std::ostream& out) {
  std::optional<std::string> good = read_state(repo, "good");
  std::optional<std::string> bad = read_state(repo, "bad");
  if (!good || !bad) {
    out << "bisect: задайте вторую границу: orrery bisect good <ревизия> или orrery "
           "bisect bad <ревизия>\n";
    return;
  }
  if (*good == *bad) {
    throw CommandError("bisect: good и bad совпадают",
                       "проверь ревизии или используй историю только с линейными коммитами");
  }
  if (!is_ancestor(repo, *good, *bad)) {
    throw CommandError("bisect: «good» должен быть предком «bad» на цепочке первого родителя", "");
  }
  std::optional<std::vector<ObjectId>> candidates = bisect_candidates(repo, *good, *bad);
  if (!candidates) throw CommandError("bisect: не удалось построить цепочку коммитов", "");
  if (candidates->size() == 1) {
    out << "bisect: проблемная ревизия (рядом с good по первому родителю): "
        << bisect_short_id(*bad) << "\n";
    return;
  }
  out << check_out(repo, (*candidates)[candidates->size() / 2]) << "\n";
}

void bisect_mark(const Repository& repo, const std::string& word, const std::string& revision,
                 std::ostream& out) {
  if (!read_state(repo, "original_head_oid")) {
    throw CommandError("bisect " + word + ": сначала orrery bisect start", "");
  }
  std::optional<ObjectId> id = resolve_revision(repo, revision);
  if (!id) throw CommandError("не найден коммит: " + revision, "");
  write_state(repo, word, *id);
  out << "bisect: отмечен " << word << ": " << bisect_short_id(*id) << "\n";
  bisect_step(repo, out);
}

void bisect_reset(const Repository& repo, std::ostream& out, const BisectWarning& warn) {
  std::optional<std::string> oid = read_state(repo, "original_head_oid");
  if (!oid) {
    throw CommandError("bisect reset: bisect не был запущен", "сначала orrery bisect start");
  }
  const std::string ref = read_state(repo, "original_head_ref").value_or("");
  constexpr std::string_view k_heads = "refs/heads/";
  std::string target = *oid;
  if (ref.rfind(k_heads, 0) == 0) {
    target = ref.substr(k_heads.size());
  } else if (!ref.empty()) {
    warn({"bisect reset: восстанавливаю по OID (непонятная ref)", ref});
  }
  out << check_out(repo, target) << "\n";
  remove_path(orrery_path(repo, k_state_dir));
  out << "bisect: сброс, восстановлена исходная точка HEAD.\n";
}

}  // namespace

std::optional<std::vector<ObjectId>> bisect_candidates(const Repository& repo, const ObjectId& good,
                                                       const ObjectId& bad) {
  std::vector<ObjectId> chain;
  ObjectId current = bad;
  while (current != good) {
    std::optional<Commit> commit = read_commit(repo.objects, current);
    if (!commit || commit->parents.empty()) return std::nullopt;
    chain.push_back(current);
    current = commit->parents.front();
  }
  return chain;
}

std::string bisect_short_id(std::string_view id) {
  if (id.size() >= 13) return std::string(id.substr(0, 12)) + "…";
  return std::string(id);
}

Parsed<BisectOptions> parse_bisect_args(const Args& args) {
  if (args.empty()) {
    return ArgError{"укажи подкоманду: start | bad | good | reset",
                    "например: orrery bisect start; orrery bisect bad; orrery bisect good v0; "
                    "orrery bisect reset"};
  }
  const std::string& word = args.front();
  const Args rest(args.begin() + 1, args.end());
  BisectOptions opts;
  if (word == "start" || word == "reset") {
    if (!rest.empty()) return ArgError{"orrery bisect " + word + " не принимает аргументов", ""};
    opts.action = word == "start" ? BisectAction::start : BisectAction::reset;
    return opts;
  }
  if (word != "good" && word != "bad") {
    return ArgError{"неизвестная подкоманда bisect: " + word, "start | bad | good | reset"};
  }
  if (rest.size() > 1) {
    return ArgError{"слишком много аргументов для bisect " + word,
                    "orrery bisect " + word + " [HEAD|ревизия]"};
  }
  opts.action = word == "good" ? BisectAction::good : BisectAction::bad;
  if (!rest.empty()) opts.revision = rest.front();
  return opts;
}

void do_bisect(const Repository& repo, const BisectOptions& opts, std::ostream& out,
               const BisectWarning& warn) {
  switch (opts.action) {
    case BisectAction::start:
      return bisect_start(repo, out);
    case BisectAction::reset:
      return bisect_reset(repo, out, warn);
    case BisectAction::good:
      return bisect_mark(repo, "good", opts.revision, out);
    case BisectAction::bad:
      return bisect_mark(repo, "bad", opts.revision, out);
  }
}

int cmd_bisect(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"bisect"});

  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  Parsed<BisectOptions> parsed = parse_bisect_args(args);
  if (const ArgError* error = std::get_if<ArgError>(&parsed)) return report_arg_error(*error);
  return report_command_error([&] {
    do_bisect(*repo, std::get<BisectOptions>(parsed), out_stream(),
              [](const ArgError& warning) { print_error(warning.message, warning.hint); });
    return 0;
  });
}
