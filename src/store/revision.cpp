#include "store/revision.h"

#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <unordered_set>
#include <vector>

#include "store/errors.h"
#include "store/fs.h"
#include "store/object_check.h"
#include "store/refs.h"
#include "store/repo.h"

namespace {

constexpr size_t k_min_short_id = 7;

bool is_lowercase_hex(std::string_view text) {
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

bool is_short_id(std::string_view text) {
  return text.size() >= k_min_short_id && text.size() < 64 && is_lowercase_hex(text);
}

bool is_full_id_with_prefix(std::string_view id, std::string_view prefix) {
  return id.starts_with(prefix) && is_canonical_object_id(id);
}

// Loose objects live in objects/<two digits>/<the rest>, so only one folder
// is listed; entries that are not regular files are never objects.
void add_loose_ids(const std::string& root, std::string_view prefix, std::set<ObjectId>& found) {
  std::error_code ec;
  const std::string folder = orrery_path(root, "objects/") + std::string(prefix.substr(0, 2));
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string id = std::string(prefix.substr(0, 2)) + entry.path().filename().string();
    if (!is_full_id_with_prefix(id, prefix)) continue;
    if (entry.symlink_status(ec).type() == std::filesystem::file_type::regular) found.insert(id);
  }
}

// Every pack index is read whole: short ids are typed by people, rarely, and
// the members of an index that does not parse are simply not candidates.
void add_packed_ids(const std::string& root, std::string_view prefix, std::set<ObjectId>& found) {
  std::error_code ec;
  std::string text;
  for (const auto& entry : std::filesystem::directory_iterator(orrery_path(root, "packs"), ec)) {
    const std::string name = entry.path().filename().string();
    if (!name.ends_with(".idx.json")) continue;
    if (entry.symlink_status(ec).type() != std::filesystem::file_type::regular) continue;
    if (!read_store_file(entry.path().string(), text)) continue;
    const nlohmann::json index = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (!index.is_object()) continue;
    const auto& members = index.get_ref<const nlohmann::json::object_t&>();
    for (auto member = members.lower_bound(prefix); member != members.end(); ++member) {
      if (!member->first.starts_with(prefix)) break;
      if (is_full_id_with_prefix(member->first, prefix)) found.insert(member->first);
    }
  }
}

// The one object whose id starts with `prefix`; nothing when none does.
// Throws AmbiguousShortId when several do.
std::optional<ObjectId> resolve_short_id(const Repository& repo, std::string_view prefix) {
  std::set<ObjectId> found;
  add_loose_ids(repo.root, prefix, found);
  add_packed_ids(repo.root, prefix, found);
  if (found.empty()) return std::nullopt;
  if (found.size() > 1) throw AmbiguousShortId(std::string(prefix));
  return *found.begin();
}

}  // namespace

std::optional<ObjectId> resolve_name(const Repository& repo, std::string_view name) {
  if (name == "HEAD") return head_commit(repo);
  if (is_object_id(name)) return std::string(name);
  for (std::string_view prefix : {"refs/heads/", "refs/tags/", "refs/remotes/"}) {
    std::string ref(prefix);
    ref.append(name);
    if (std::optional<std::string> id = read_ref(repo.root, ref)) return id;
  }
  if (is_short_id(name)) return resolve_short_id(repo, name);
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
