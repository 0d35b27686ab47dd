#include "store/revision.h"

#include <unordered_set>
#include <vector>

#include "store/refs.h"
#include "store/repo.h"

std::optional<ObjectId> resolve_name(const Repository& repo, std::string_view name) {
  if (name == "HEAD") return head_commit(repo);
  if (is_object_id(name)) return std::string(name);
  for (std::string_view prefix : {"refs/heads/", "refs/tags/", "refs/remotes/"}) {
    std::string ref(prefix);
    ref.append(name);
    if (std::optional<std::string> id = read_ref(repo.root, ref)) return id;
  }
  return std::nullopt;
}

std::optional<ObjectId> resolve_revision(const Repository& repo, std::string_view revision) {
  std::string_view base = revision;
  uint64_t steps = 0;
  if (size_t tilde = revision.find('~'); tilde != std::string_view::npos) {
    base = revision.substr(0, tilde);
    std::string_view count = revision.substr(tilde + 1);
    if (count.empty()) return std::nullopt;
    for (char c : count) {
      if (c < '0' || c > '9') return std::nullopt;
      // Past the first-parent walk limit the answer is nothing anyway.
      steps = std::min<uint64_t>(steps * 10 + static_cast<uint64_t>(c - '0'), UINT32_MAX);
    }
  } else {
    while (!base.empty() && base.back() == '^') {
      base.remove_suffix(1);
      ++steps;
    }
  }
  if (base.empty()) base = "HEAD";
  std::optional<ObjectId> id = resolve_name(repo, base);
  // The walk ends at the root however large the count; a commit met twice
  // means a damaged store whose history never reaches one.
  std::unordered_set<ObjectId> seen;
  for (uint64_t i = 0; id && i < steps; ++i) {
    if (!seen.insert(*id).second) return std::nullopt;
    id = first_parent(repo, *id);
  }
  return id;
}

std::optional<ObjectId> first_parent(const Repository& repo, std::string_view id) {
  std::optional<Commit> commit = read_commit(repo.objects, id);
  if (!commit || commit->parents.empty()) return std::nullopt;
  return commit->parents.front();
}

std::optional<uint32_t> first_parent_distance(const Repository& repo, std::string_view from,
                                              std::string_view to) {
  if (from == to) return 0;
  std::optional<ObjectId> current = std::string(from);
  std::unordered_set<ObjectId> seen{std::string(from)};
  for (uint32_t count = 1; count <= 100000; ++count) {
    current = first_parent(repo, *current);
    if (!current || !seen.insert(*current).second) return std::nullopt;
    if (*current == to) return count;
  }
  return std::nullopt;
}

bool is_ancestor(const Repository& repo, std::string_view ancestor, std::string_view descendant) {
  if (ancestor == descendant) return true;
  std::vector<ObjectId> stack{std::string(descendant)};
  std::unordered_set<ObjectId> visited;
  while (!stack.empty()) {
    ObjectId id = std::move(stack.back());
    stack.pop_back();
    if (!visited.insert(id).second) continue;
    std::optional<Commit> commit = read_commit(repo.objects, id);
    if (!commit) continue;
    for (const ObjectId& parent : commit->parents) {
      if (parent == ancestor) return true;
      if (!visited.count(parent)) stack.push_back(parent);
    }
  }
  return false;
}
