#include "history/merge_base.h"

#include <unordered_set>
#include <vector>

#include "history/internal/quiet_read.h"
#include "store/repo.h"

namespace {

// Pushes the commit's parents in stored order, so the last is popped first.
void push_parents(const Repository& repo, const ObjectId& id, std::vector<ObjectId>& stack) {
  std::optional<Commit> commit = read_commit_quietly(repo.objects, id);
  if (!commit) return;
  stack.insert(stack.end(), commit->parents.begin(), commit->parents.end());
}

std::unordered_set<ObjectId> reachable_from(const Repository& repo, const ObjectId& start) {
  std::unordered_set<ObjectId> seen;
  std::vector<ObjectId> stack{start};
  while (!stack.empty()) {
    ObjectId id = std::move(stack.back());
    stack.pop_back();
    if (!seen.insert(id).second) continue;
    push_parents(repo, id, stack);
  }
  return seen;
}

}  // namespace

std::optional<ObjectId> merge_base(const Repository& repo, const ObjectId& ours,
                                   const ObjectId& theirs) {
  const std::unordered_set<ObjectId> from_ours = reachable_from(repo, ours);
  std::unordered_set<ObjectId> visited;
  std::vector<ObjectId> stack{theirs};
  while (!stack.empty()) {
    ObjectId id = std::move(stack.back());
    stack.pop_back();
    if (!visited.insert(id).second) continue;
    if (from_ours.count(id)) return id;
    push_parents(repo, id, stack);
  }
  return std::nullopt;
}
