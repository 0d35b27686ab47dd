#include "worktree/add_patch.h"

#include <sys/stat.h>

#include <iostream>
#include <optional>

#include "cli/console.h"
#include "diff/engine.h"
#include "diff/patch.h"
#include "store/fs.h"
#include "store/ignore.h"
#include "store/index.h"
#include "store/repo.h"
#include "store/tree_walk.h"
#include "worktree/internal/repo_path.h"
#include "worktree/working_stat.h"

namespace {

enum class Answer { take, skip, take_all, skip_rest, quit, end_of_input };

// Asks until a known answer arrives; the whole line must match.
Answer ask_about_hunk() {
  std::ostream& out = out_stream();
  std::string line;
  for (;;) {
    out << "Добавить этот hunk? [y,n,a,d,q] ";
    out.flush();
    if (!std::getline(in_stream(), line)) return Answer::end_of_input;
    if (line == "y" || line == "Y" || line == "yes") return Answer::take;
    if (line == "n" || line == "N" || line == "no") return Answer::skip;
    if (line == "a" || line == "A") return Answer::take_all;
    if (line == "d" || line == "D") return Answer::skip_rest;
    if (line == "q" || line == "Q") return Answer::quit;
  }
}

// One flag per hunk, filled by asking; nothing when the user quits or the
// input ends (the error is reported already).
std::optional<std::vector<bool>> choose_hunks(const std::string& relative, const EditScript& script,
                                              const std::vector<Hunk>& hunks) {
  std::vector<bool> chosen(hunks.size(), false);
  bool take_all = false;
  std::ostream& out = out_stream();
  for (size_t i = 0; i < hunks.size(); ++i) {
    out << "diff -- a/" << relative << " b/" << relative << "\n"
        << "--- a/" << relative << "\n"
        << "+++ b/" << relative << "\n"
        << render_hunk(script, hunks[i]);
    if (take_all) {
      chosen[i] = true;
      continue;
    }
    switch (ask_about_hunk()) {
      case Answer::take:
        chosen[i] = true;
        break;
      case Answer::skip:
        break;
      case Answer::take_all:
        chosen[i] = take_all = true;
        break;
      case Answer::skip_rest:
        return chosen;
      case Answer::quit:
        print_error("отменено");
        return std::nullopt;
      case Answer::end_of_input:
        print_error("интерактивный ввод прерван");
        return std::nullopt;
    }
  }
  return chosen;
}

// The old side with the chosen hunks applied: context stays, a deletion
// stays unless its hunk was chosen, an insertion enters only if it was.
std::string apply_chosen(const EditScript& script, const std::vector<Hunk>& hunks,
                         const std::vector<bool>& chosen) {
  std::vector<std::string_view> kept;
  size_t hunk = 0;
  for (size_t i = 0; i < script.size(); ++i) {
    while (hunk < hunks.size() && hunks[hunk].end <= i) ++hunk;
    const bool in_chosen = hunk < hunks.size() && hunks[hunk].start <= i && chosen[hunk];
    const char op = script[i].op;
    if (op == ' ' || (op == '-' && !in_chosen) || (op == '+' && in_chosen)) {
      kept.push_back(script[i].line);
    }
  }
  return join_patch_lines(kept);
}

std::string indexed_content(const Repository& repo, const Index& index,
                            const std::string& relative) {
  auto entry = index.find(relative);
  if (entry == index.end()) return {};
  std::optional<Object> blob = read_object(repo.objects, entry->second.hash);
  return blob && blob->type == "blob" ? std::move(blob->data) : std::string();
}

}  // namespace

std::vector<std::string_view> split_patch_lines(std::string_view content) {
  std::vector<std::string_view> lines;
  if (content.empty()) return lines;
  for (;;) {
    size_t newline = content.find('\n');
    lines.push_back(content.substr(0, newline));
    if (newline == std::string_view::npos) return lines;
    content.remove_prefix(newline + 1);
  }
}

std::string join_patch_lines(const std::vector<std::string_view>& lines) {
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) out += '\n';
    out.append(lines[i]);
  }
  return out;
}

int stage_patch(const Repository& repo, const std::vector<std::string>& paths) {
  if (paths.size() > 1) {
    print_error("add -p пока поддерживает ровно один файл",
                "используй 'orrery add <путь...>' чтобы добавить файлы целиком");
    return 1;
  }
  const std::string& arg = paths.front();
  const std::string full = repo_full_path(repo.root, arg);
  if (!is_regular_file(full) || is_symbolic_link(full)) {
    print_error("не является обычным файлом: " + arg);
    return 1;
  }
  std::optional<std::string> relative = repo_relative_path(repo.root, arg);
  if (!relative) {
    report_outside_root(arg);
    return 1;
  }
  if (is_ignored(load_ignore_rules(repo.root), *relative, false)) {
    out_stream().flush();
    std::cerr << "Пропущено (ignored): " << *relative << "\n";
    return 0;
  }
  if (!is_safe_tree_path(*relative)) {
    print_error("недопустимый путь: " + arg);
    return 1;
  }
  const Index index = load_index(repo);
  const std::string old_content = indexed_content(repo, index, *relative);
  const WorkingStat stat = stat_working_file(full);
  const std::string new_content = read_file(full);
  const EditScript script =
      diff_lines(split_patch_lines(old_content), split_patch_lines(new_content));
  const std::vector<Hunk> hunks = group_hunks(script, 3);
  if (hunks.empty()) {
    out_stream() << "Нет изменений для добавления: " << *relative << "\n";
    return 0;
  }
  std::optional<std::vector<bool>> chosen = choose_hunks(*relative, script, hunks);
  if (!chosen) return 1;
  // The questions are asked without the lock; the index is read again under
  // it, so that what others staged meanwhile stays.
  RepoLock lock(repo.root);
  Index current = load_index(repo);
  ObjectId id = write_object(repo.objects, "blob", apply_chosen(script, hunks, *chosen));
  current[*relative] = IndexEntry{id, stat.size, stat.mtime, stat.mode};
  save_index(repo, current);
  out_stream() << "добавлен (patch) " << *relative << " (" << id << ")\n";
  return 0;
}
