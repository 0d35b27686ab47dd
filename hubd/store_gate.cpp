#include "hubd/store_gate.h"

#include <filesystem>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "pack/pack_reader.h"
#include "pack/transfer.h"
#include "store/fs.h"
#include "store/refs.h"
#include "store/repo.h"
#include "store/revision.h"

namespace {

std::mutex g_store_mutex;

// Commits and trees whose whole closure a repository was seen to hold, per
// root. The hub never deletes objects, so an entry stays true; the sets only
// spare a ref update from walking again what an earlier one walked. About
// 150 bytes an entry: past the bound, all of them are forgotten at once.
std::unordered_map<std::string, std::unordered_set<ObjectId>> g_complete;
size_t g_complete_entries = 0;
constexpr size_t k_max_complete_entries = 200'000;

std::string branch_ref(std::string_view branch) { return "refs/heads/" + std::string(branch); }

bool has_object(const std::string& root, const ObjectId& id) {
  return path_exists(loose_object_path(root, id)) || find_in_packs(root, id).has_value();
}

struct Pending {
  ObjectId id;
  std::string_view type;  // "" when not known
};

// The ids an object names, each with the type the naming promises; nothing
// when it cannot be read as `expected` (any type when that is empty).
std::optional<std::vector<Pending>> read_links(const ObjectStore& store, const ObjectId& id,
                                               std::string_view expected) {
  std::optional<Object> object = read_object(store, id);
  if (!object || (!expected.empty() && object->type != expected)) return std::nullopt;
  std::vector<Pending> links;
  if (object->type == "commit") {
    Commit commit = parse_commit(object->data);
    for (const ObjectId& parent : commit.parents) links.push_back({parent, "commit"});
    links.push_back({commit.tree, "tree"});
  } else if (object->type == "tree") {
    for (const TreeEntry& entry : parse_tree(object->data)) {
      links.push_back({entry.hash, entry.type == "tree" ? "tree" : "blob"});
    }
  }
  return links;
}

bool has_complete_history(const Repository& repo, const ObjectId& commit,
                          std::unordered_set<ObjectId>& complete) {
  std::vector<Pending> stack{{commit, "commit"}};
  std::unordered_set<ObjectId> seen;
  std::vector<ObjectId> walked;
  try {
    while (!stack.empty()) {
      Pending next = std::move(stack.back());
      stack.pop_back();
      if (complete.count(next.id) != 0 || !seen.insert(next.id).second) continue;
      if (next.type == "blob") {
        if (!has_object(repo.root, next.id)) return false;
        continue;
      }
      std::optional<std::vector<Pending>> links = read_links(repo.objects, next.id, next.type);
      if (!links) return false;
      stack.insert(stack.end(), links->begin(), links->end());
      walked.push_back(next.id);
    }
  } catch (const std::exception&) {
    return false;  // a damaged object is as good as a missing one
  }
  for (ObjectId& id : walked) g_complete_entries += complete.insert(std::move(id)).second;
  return true;
}

bool is_blocked_by_other_branch(const std::string& root, std::string_view branch) {
  const std::string refs = orrery_path(root, "refs/heads/");
  if (is_directory(refs + std::string(branch))) return true;
  for (size_t slash = branch.find('/'); slash != std::string_view::npos;
       slash = branch.find('/', slash + 1)) {
    if (is_regular_file(refs + std::string(branch.substr(0, slash)))) return true;
  }
  return false;
}

// The set of complete commits and trees known for a repository.
std::unordered_set<ObjectId>& complete_set(const std::string& root) {
  if (g_complete_entries > k_max_complete_entries) {
    g_complete.clear();
    g_complete_entries = 0;
  }
  return g_complete[root];
}

std::optional<ObjectId> read_branch_locked(const std::string& root, std::string_view branch) {
  if (!is_regular_file(orrery_path(root, branch_ref(branch)))) return std::nullopt;
  return read_ref(root, branch_ref(branch));
}

}  // namespace

std::string repo_root(const std::string& data_dir, int64_t repo_id) {
  return data_dir + "/repos/" + std::to_string(repo_id) + ".orrery";
}

void ensure_store(const std::string& root) {
  std::lock_guard lock(g_store_mutex);
  if (is_initialized(root)) return;
  create_repository(Repository(root));
}

int clear_stale_locks(const std::string& data_dir) {
  std::lock_guard lock(g_store_mutex);
  std::error_code ec;
  int cleared = 0;
  for (const auto& entry : std::filesystem::directory_iterator(data_dir + "/repos", ec)) {
    const std::string lock_dir = orrery_path(entry.path().string(), "lock");
    if (is_directory(lock_dir) && remove_path(lock_dir)) ++cleared;
  }
  return cleared;
}

std::optional<ObjectId> read_branch(const std::string& root, std::string_view branch) {
  std::lock_guard lock(g_store_mutex);
  return read_branch_locked(root, branch);
}

std::optional<std::string> read_stored_object(const std::string& root, std::string_view id) {
  std::lock_guard lock(g_store_mutex);
  return read_raw_object(ObjectStore(root), id);
}

std::set<ObjectId> missing_objects(const std::string& root, const std::set<ObjectId>& ids) {
  std::lock_guard lock(g_store_mutex);
  std::set<ObjectId> missing;
  for (const ObjectId& id : ids) {
    if (!has_object(root, id)) missing.insert(missing.end(), id);
  }
  return missing;
}

void store_object(const std::string& root, std::string_view id, std::string_view stored) {
  std::lock_guard lock(g_store_mutex);
  write_raw_object(ObjectStore(root), id, stored);
}

bool store_pack(const std::string& root, std::string_view stream) {
  std::lock_guard lock(g_store_mutex);
  return store_transfer_pack(root, stream);
}

std::string pack_of_closure(const std::string& root, const std::set<ObjectId>& wants,
                            const std::set<ObjectId>& haves) {
  std::lock_guard lock(g_store_mutex);
  ObjectStore store(root);
  std::vector<Pending> stack;
  for (const ObjectId& want : wants) stack.push_back({want, ""});
  std::set<ObjectId> closure;
  while (!stack.empty()) {
    Pending next = std::move(stack.back());
    stack.pop_back();
    if (haves.count(next.id) != 0 || closure.count(next.id) != 0) continue;
    if (next.type == "blob") {
      closure.insert(next.id);
      continue;
    }
    std::optional<std::vector<Pending>> links = read_links(store, next.id, next.type);
    if (!links) continue;
    closure.insert(next.id);
    stack.insert(stack.end(), links->begin(), links->end());
  }
  return build_transfer_pack(root, closure);
}

bool holds_history(const std::string& root, const ObjectId& commit) {
  std::lock_guard lock(g_store_mutex);
  return has_complete_history(Repository(root), commit, complete_set(root));
}

bool reaches(const std::string& root, const ObjectId& descendant, const ObjectId& ancestor) {
  std::lock_guard lock(g_store_mutex);
  return is_ancestor(Repository(root), ancestor, descendant);
}

void with_store(const std::function<void()>& work) {
  std::lock_guard lock(g_store_mutex);
  work();
}

BranchUpdate update_branch(const std::string& root, std::string_view branch, const ObjectId& id,
                           const std::optional<ObjectId>& expected_old) {
  std::lock_guard lock(g_store_mutex);
  Repository repo(root);
  std::unordered_set<ObjectId>& complete = complete_set(root);
  const std::optional<ObjectId> old = read_branch_locked(root, branch);
  // The hub moves a branch only to a complete history, so its current value
  // is one: the walk can stop there.
  if (old) g_complete_entries += complete.insert(*old).second;
  if (!has_complete_history(repo, id, complete)) return BranchUpdate::incomplete_history;
  if (expected_old && expected_old != old) return BranchUpdate::stale;
  if (is_blocked_by_other_branch(root, branch)) return BranchUpdate::name_conflict;
  const std::string name = branch_ref(branch);
  if (!update_ref_if(repo, name, id, old)) return BranchUpdate::stale;
  // The store logs only the branch HEAD names; a hub repository has no
  // checkout, so its log records every branch's moves.
  if (head_symref(repo) != name && old != id) {
    RepoLock repo_lock(root);
    append_reflog(repo, old, id, "обновление: " + name);
  }
  return BranchUpdate::updated;
}
