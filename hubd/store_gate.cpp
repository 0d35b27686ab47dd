#include "hubd/store_gate.h"

#include <filesystem>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "pack/transfer.h"
#include "store/fs.h"
#include "store/pack_reader.h"
#include "store/refs.h"
#include "store/repo.h"
#include "store/revision.h"

// The store is safe to use from any thread: every function here opens the
// repository it needs and shares its state with other threads through the
// store itself. A branch update holds the repository lock across its
// check and its write, which serialises updates of one repository against
// other threads and other processes alike.

namespace {

// Commits and trees whose whole closure a repository was seen to hold, per
// root. The hub never deletes objects, so an entry stays true; the sets only
// spare a ref update from walking again what an earlier one walked. About
// 150 bytes an entry: past the bound, all of them are forgotten at once.
class CompleteSets {
 public:
  bool contains(const std::string& root, const ObjectId& id) {
    std::lock_guard lock(mutex_);
    auto sets = sets_.find(root);
    return sets != sets_.end() && sets->second.count(id) != 0;
  }
  void add(const std::string& root, std::vector<ObjectId> ids) {
    std::lock_guard lock(mutex_);
    if (entries_ + ids.size() > k_max_entries) {
      sets_.clear();
      entries_ = 0;
    }
    std::unordered_set<ObjectId>& set = sets_[root];
    for (ObjectId& id : ids) entries_ += set.insert(std::move(id)).second;
  }

 private:
  static constexpr size_t k_max_entries = 200'000;
  std::mutex mutex_;
  std::unordered_map<std::string, std::unordered_set<ObjectId>> sets_;
  size_t entries_ = 0;
};

CompleteSets g_complete;

std::string branch_ref(std::string_view branch) { return "refs/heads/" + std::string(branch); }

bool has_object(const ObjectStore& store, const ObjectId& id) {
  return path_exists(loose_object_path(store.root, id)) || find_in_packs(store, id).has_value();
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

bool has_complete_history(const Repository& repo, const ObjectId& commit) {
  std::vector<Pending> stack{{commit, "commit"}};
  std::unordered_set<ObjectId> seen;
  std::vector<ObjectId> walked;
  try {
    while (!stack.empty()) {
      Pending next = std::move(stack.back());
      stack.pop_back();
      if (!seen.insert(next.id).second || g_complete.contains(repo.root, next.id)) continue;
      if (next.type == "blob") {
        if (!has_object(repo.objects, next.id)) return false;
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
  g_complete.add(repo.root, std::move(walked));
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

}  // namespace

std::string repo_root(const std::string& data_dir, int64_t repo_id) {
  return data_dir + "/repos/" + std::to_string(repo_id) + ".orrery";
}

bool has_store(const std::string& root) { return is_initialized(root); }

void ensure_store(const std::string& root) {
  if (is_initialized(root)) return;
  create_repository(Repository(root));
}

int clear_stale_locks(const std::string& data_dir) {
  std::error_code ec;
  int cleared = 0;
  for (const auto& entry : std::filesystem::directory_iterator(data_dir + "/repos", ec)) {
    const std::string lock_dir = orrery_path(entry.path().string(), "lock");
    if (is_directory(lock_dir) && remove_path(lock_dir)) ++cleared;
  }
  return cleared;
}

void clear_stale_lock(const std::string& root) { remove_path(orrery_path(root, "lock")); }

std::optional<ObjectId> read_branch(const std::string& root, std::string_view branch) {
  if (!is_regular_file(orrery_path(root, branch_ref(branch)))) return std::nullopt;
  return read_ref(root, branch_ref(branch));
}

std::optional<std::string> read_stored_object(const std::string& root, std::string_view id) {
  return read_raw_object(ObjectStore(root), id);
}

std::set<ObjectId> missing_objects(const std::string& root, const std::set<ObjectId>& ids) {
  const ObjectStore store(root);
  std::set<ObjectId> missing;
  for (const ObjectId& id : ids) {
    if (!has_object(store, id)) missing.insert(missing.end(), id);
  }
  return missing;
}

void store_object(const std::string& root, std::string_view id, std::string_view stored) {
  const std::string path = loose_object_path(root, id);
  if (!path_exists(path)) write_file_atomic(path, stored);
}

std::string pack_of_closure(const std::string& root, const std::set<ObjectId>& wants,
                            const std::set<ObjectId>& haves) {
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

bool holds_history(const std::string& root, const ObjectId& commit,
                   const std::optional<ObjectId>& known_complete) {
  if (known_complete) g_complete.add(root, {*known_complete});
  return has_complete_history(Repository(root), commit);
}

bool reaches(const std::string& root, const ObjectId& descendant, const ObjectId& ancestor) {
  return is_ancestor(Repository(root), ancestor, descendant);
}

BranchUpdate update_branch(const std::string& root, std::string_view branch, const ObjectId& id,
                           const std::optional<ObjectId>& expected_old) {
  Repository repo(root);
  // The hub moves a branch only to a complete history, so its current value
  // is one: the walk can stop there.
  if (std::optional<ObjectId> current = read_branch(root, branch)) {
    g_complete.add(root, {*current});
  }
  if (!has_complete_history(repo, id)) return BranchUpdate::incomplete_history;
  // From the check to the reflog line, no other thread or process moves a
  // branch of this repository.
  RepoLock repo_lock(root);
  const std::optional<ObjectId> old = read_branch(root, branch);
  if (expected_old && expected_old != old) return BranchUpdate::stale;
  if (is_blocked_by_other_branch(root, branch)) return BranchUpdate::name_conflict;
  const std::string name = branch_ref(branch);
  if (!update_ref_if(repo, name, id, old)) return BranchUpdate::stale;
  // The store logs only the branch HEAD names; a hub repository has no
  // checkout, so its log records every branch's moves.
  if (head_symref(repo) != name && old != id) append_reflog(repo, old, id, "обновление: " + name);
  return BranchUpdate::updated;
}
