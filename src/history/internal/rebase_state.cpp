#include "history/internal/rebase_state.h"

#include "store/fs.h"
#include "store/repo.h"
#include "util/text.h"

namespace {

std::string state_path(const Repository& repo, std::string_view name) {
  return orrery_path(repo, "rebase-merge/" + std::string(name));
}

void write_state_file(const Repository& repo, std::string_view name, std::string_view content) {
  write_file_atomic(state_path(repo, name), content);
}

}  // namespace

bool is_rebase_in_progress(const Repository& repo) {
  return path_exists(state_path(repo, "head-name"));
}

std::optional<std::string> read_rebase_file(const Repository& repo, std::string_view name) {
  std::string text;
  if (!read_store_file(state_path(repo, name), text)) return std::nullopt;
  return std::string(trim(text, k_blanks_and_line_ends));
}

void write_rebase_start(const Repository& repo, const RebaseStart& start) {
  write_state_file(repo, "onto", start.onto + "\n");
  write_state_file(repo, "orig-head", start.orig_head + "\n");
  write_todo(repo, start.todo);
  std::string index;
  read_store_file(orrery_path(repo, "index"), index);
  write_state_file(repo, "orig-index", index);
  write_pending_step(repo, {PendingStep::start, start.onto, {}});
  write_state_file(repo, "head-name", start.head_name + "\n");
}

std::vector<ObjectId> read_todo(const Repository& repo) {
  std::vector<ObjectId> todo;
  std::optional<std::string> text = read_rebase_file(repo, "todo");
  if (!text) return todo;
  std::string_view rest = *text;
  while (!rest.empty()) {
    const size_t newline = rest.find('\n');
    std::string_view line = trim(rest.substr(0, newline), k_blanks_and_line_ends);
    if (!line.empty()) todo.emplace_back(line);
    rest = newline == std::string_view::npos ? std::string_view() : rest.substr(newline + 1);
  }
  return todo;
}

void write_todo(const Repository& repo, const std::vector<ObjectId>& todo) {
  std::string text;
  for (const ObjectId& id : todo) text.append(id).push_back('\n');
  write_state_file(repo, "todo", text);
}

std::optional<PendingStep> read_pending_step(const Repository& repo) {
  std::optional<std::string> text = read_rebase_file(repo, "pending");
  if (!text) return std::nullopt;
  PendingStep step;
  std::vector<std::string> words;
  for (size_t start = 0; start < text->size();) {
    size_t end = text->find(' ', start);
    if (end == std::string::npos) end = text->size();
    if (end > start) words.push_back(text->substr(start, end - start));
    start = end + 1;
  }
  // Anything unreadable counts as a replay that must start over.
  if (words.size() == 2 && words[0] == "start")
    return PendingStep{PendingStep::start, words[1], {}};
  if (words.size() >= 2 && words[0] == "pick") step.commit = words[1];
  if (words.size() == 3 && words[0] == "pick") step.made = words[2];
  return step;
}

void write_pending_step(const Repository& repo, const PendingStep& step) {
  std::string text = step.kind == PendingStep::start ? "start " : "pick ";
  text += step.commit;
  if (!step.made.empty()) text += " " + step.made;
  write_state_file(repo, "pending", text + "\n");
}

void clear_pending_step(const Repository& repo) { remove_path(state_path(repo, "pending")); }

bool remove_rebase_state(const Repository& repo) {
  remove_path(state_path(repo, "head-name"));
  return remove_path(orrery_path(repo, "rebase-merge"));
}
