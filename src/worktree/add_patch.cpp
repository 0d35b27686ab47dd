#include "worktree/add_patch.h"

#include <sys/stat.h>

#include <iostream>
#include <optional>

#include "cli/command_error.h"
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

// Asks until a known answer arrives; the whole line must match.
HunkAnswer ask_about_hunk() {
  std::ostream& out = out_stream();
  std::string line;
  for (;;) {
    out << "Добавить этот hunk? [y,n,a,d,q] ";
    out.flush();
    if (!std::getline(in_stream(), line)) return HunkAnswer::end_of_input;
    if (line == "y" || line == "Y" || line == "yes") return HunkAnswer::take;
    if (line == "n" || line == "N" || line == "no") return HunkAnswer::skip;
    if (line == "a" || line == "A") return HunkAnswer::take_all;
    if (line == "d" || line == "D") return HunkAnswer::skip_rest;
    if (line == "q" || line == "Q") return HunkAnswer::quit;
  }
}

// One flag per hunk, filled by asking; throws when the user quits or the
// input ends.
std::vector<bool> choose_hunks(const std::string& relative, const EditScript& script,
                               const std::vector<Hunk>& hunks, const HunkDialog& dialog) {
  std::vector<bool> chosen(hunks.size(), false);
  bool take_all = false;
  for (size_t i = 0; i < hunks.size(); ++i) {
    dialog.show(relative, render_hunk(script, hunks[i]));
    if (take_all) {
      chosen[i] = true;
      continue;
    }
    switch (dialog.ask()) {
      case HunkAnswer::take:
        chosen[i] = true;
        break;
      case HunkAnswer::skip:
        break;
      case HunkAnswer::take_all:
        chosen[i] = take_all = true;
        break;
      case HunkAnswer::skip_rest:
        return chosen;
      case HunkAnswer::quit:
        throw CommandError("отменено", "");
      case HunkAnswer::end_of_input:
        throw CommandError("интерактивный ввод прерван", "");
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

HunkDialog console_hunk_dialog() {
  return {[](const std::string& relative, const std::string& hunk) {
            out_stream() << "diff -- a/" << relative << " b/" << relative << "\n"
                         << "--- a/" << relative << "\n"
                         << "+++ b/" << relative << "\n"
                         << hunk;
          },
          ask_about_hunk};
}

AddPatchResult do_add_patch(const Repository& repo, const std::vector<std::string>& paths,
                            const HunkDialog& dialog) {
  if (paths.size() > 1) {
    throw CommandError("add -p пока поддерживает ровно один файл",
                       "используй 'orrery add <путь...>' чтобы добавить файлы целиком");
  }
  const std::string& arg = paths.front();
  const std::string full = repo_full_path(repo.root, arg);
  if (!is_regular_file(full) || is_symbolic_link(full)) {
    throw CommandError("не является обычным файлом: " + arg, "");
  }
  std::optional<std::string> relative = repo_relative_path(repo.root, arg);
  if (!relative) throw CommandError(outside_root_error(arg));
  if (is_ignored(load_ignore_rules(repo.root), *relative, false)) {
    return {AddPatchResult::Outcome::ignored, *relative, {}};
  }
  if (!is_safe_tree_path(*relative)) throw CommandError("недопустимый путь: " + arg, "");
  const Index index = load_index(repo);
  const std::string old_content = indexed_content(repo, index, *relative);
  const WorkingStat stat = stat_working_file(full);
  const std::string new_content = read_file(full);
  const EditScript script =
      diff_lines(split_patch_lines(old_content), split_patch_lines(new_content));
  const std::vector<Hunk> hunks = group_hunks(script, 3);
  if (hunks.empty()) return {AddPatchResult::Outcome::unchanged, *relative, {}};
  const std::vector<bool> chosen = choose_hunks(*relative, script, hunks, dialog);
  // The questions are asked without the lock; the index is read again under
  // it, so that what others staged meanwhile stays.
  RepoLock lock(repo.root);
  Index current = load_index(repo);
  ObjectId id = write_object(repo.objects, "blob", apply_chosen(script, hunks, chosen));
  current[*relative] = IndexEntry{id, stat.size, stat.mtime, stat.mode};
  save_index(repo, current);
  return {AddPatchResult::Outcome::staged, *relative, id};
}

int print_add_patch(const AddPatchResult& result) {
  switch (result.outcome) {
    case AddPatchResult::Outcome::ignored:
      out_stream().flush();
      std::cerr << "Пропущено (ignored): " << result.path << "\n";
      break;
    case AddPatchResult::Outcome::unchanged:
      out_stream() << "Нет изменений для добавления: " << result.path << "\n";
      break;
    case AddPatchResult::Outcome::staged:
      out_stream() << "добавлен (patch) " << result.path << " (" << result.id << ")\n";
      break;
  }
  return 0;
}
