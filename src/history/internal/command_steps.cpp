#include "history/internal/command_steps.h"

#include <iostream>

#include "cli/command_error.h"
#include "cli/console.h"
#include "history/internal/quiet_read.h"
#include "history/worktree_files.h"
#include "store/fs.h"
#include "store/refs.h"
#include "store/repo.h"
#include "worktree/checkout.h"
#include "worktree/reset.h"

namespace {

constexpr std::string_view k_heads = "refs/heads/";

}  // namespace

std::optional<std::string> current_branch(const Repository& repo) {
  std::optional<std::string> ref = head_symref(repo);
  if (!ref || !ref->starts_with(k_heads) || !is_safe_relpath(*ref)) return std::nullopt;
  return ref;
}

std::string short_branch_name(const std::string& ref) {
  return ref.starts_with(k_heads) ? ref.substr(k_heads.size()) : ref;
}

std::optional<ObjectId> readable_commit_tree(const ObjectStore& store, const ObjectId& commit) {
  std::optional<Commit> parsed = read_commit_quietly(store, commit);
  if (!parsed || !read_tree_quietly(store, parsed->tree)) return std::nullopt;
  return parsed->tree;
}

std::string switched_line(const std::string& ref) {
  return "Переключено на ветку «" + short_branch_name(ref) + "»";
}

void print_conflict_lines(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) std::cerr << "  конфликт: " << path << "\n";
}

std::string check_out_branch(const Repository& repo, const std::string& ref) {
  CheckoutOptions options;
  options.name = short_branch_name(ref);
  return do_checkout(repo, options).done;
}

std::string check_out_and_index(const Repository& repo, const std::string& ref,
                                const PathMap& files) {
  std::string line = check_out_branch(repo, ref);
  save_index(repo, index_with_working_stats(repo, files));
  return line;
}

void hard_reset_to(const Repository& repo, const ObjectId& commit) {
  hard_reset_worktree(repo, load_ignore_rules(repo.root), commit);
}

void keep_index_stats(const Repository& repo, const Index& before) {
  Index index = load_index(repo);
  bool kept = false;
  for (auto& [path, entry] : index) {
    auto old = before.find(path);
    if (old == before.end() || old->second.hash != entry.hash) continue;
    const IndexEntry& was = old->second;
    kept = kept || was.size != entry.size || was.mtime != entry.mtime || was.mode != entry.mode;
    entry = was;
  }
  if (kept) save_index(repo, index);
}
