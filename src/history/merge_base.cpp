#include "history/merge_base.h"

#include <functional>
#include <unordered_set>
#include <vector>

#include "history/internal/quiet_read.h"
#include "store/repo.h"

namespace {

// Walks from `start` depth-first, visiting each commit once and pushing its
// parents in stored order (so the last is popped first); returns the first
// commit `stop` answers true for.
std::optional<ObjectId> walk_commits(const Repository& repo, const ObjectId& start,
                                     const std::function<bool(const ObjectId&)>& stop) {
  std::unordered_set<ObjectId> visited;
  std::vector<ObjectId> stack{start};
  while (!stack.empty()) {
    ObjectId id = std::move(stack.back());
    stack.pop_back();
    if (!visited.insert(id).second) continue;
    if (stop(id)) return id;
    std::optional<Commit> commit = read_commit_quietly(repo.objects, id);
    if (commit) stack.insert(stack.end(), commit->parents.begin(), commit->parents.end());
  }
  return std::nullopt;
}

}  // namespace

std::optional<ObjectId> merge_base(const Repository& repo, const ObjectId& ours,
                                   const ObjectId& theirs) {
  std::unordered_set<ObjectId> from_ours;
  walk_commits(repo, ours, [&](const ObjectId& id) {
    from_ours.insert(id);
    return false;
  });
  return walk_commits(repo, theirs, [&](const ObjectId& id) { return from_ours.count(id) > 0; });
}
