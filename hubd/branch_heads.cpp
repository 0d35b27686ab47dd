#include "hubd/branch_heads.h"

#include "hubd/db.h"
#include "store/fs.h"
#include "store/repo.h"

// With PostgreSQL a guarded update is one transaction: read the head, check
// the expectation, then either "UPDATE ... WHERE target = old" or an insert
// that yields to a concurrent one; the statement that changes no row means
// another process moved the branch first. Creating a branch locks the
// repository's row, so that "a" and "a/b" cannot be created side by side.
// Store work that takes the store's lock directory runs under an advisory
// lock of the repository: the database drops it when its holder dies, so a
// lock directory found under it was left by a killed process.

namespace {

constexpr int k_max_swap_attempts = 100;
const std::string k_zero_id(64, '0');

bool is_postgres(const HubContext& hub) { return hub.db.backend() == DbBackend::postgres; }

std::optional<ObjectId> read_db_branch(Db& db, int64_t repo_id, std::string_view branch) {
  std::vector<DbRow> rows = db.query("SELECT target FROM refs WHERE repo_id = $1 AND name = $2",
                                     {repo_id, std::string(branch)});
  if (rows.empty()) return std::nullopt;
  return rows[0].text(0);
}

bool is_blocked_in_db(Db& db, int64_t repo_id, std::string_view branch) {
  return !db.query(
                "SELECT 1 FROM refs WHERE repo_id = $1 AND"
                " (left(name, length($2::text) + 1) = $2::text || '/'"
                " OR left($2::text, length(name) + 1) = name || '/') LIMIT 1",
                {repo_id, std::string(branch)})
              .empty();
}

// The store logs a move of HEAD's branch, "main" in every hub repository,
// by its last name component, and other branches by their full name: the
// log reads the same on either backend.
std::string move_message(std::string_view branch) {
  return branch == "main" ? "обновление: main" : "обновление: refs/heads/" + std::string(branch);
}

// One attempt at the swap, inside the caller's transaction; nothing when a
// concurrent writer got in between and an unguarded update should retry.
std::optional<BranchUpdate> swap_once(Db& db, int64_t repo_id, const std::string& branch,
                                      const ObjectId& id,
                                      const std::optional<ObjectId>& expected_old) {
  const std::optional<ObjectId> old = read_db_branch(db, repo_id, branch);
  if (expected_old && expected_old != old) return BranchUpdate::stale;
  int64_t changed = 0;
  if (old) {
    changed =
        db.exec("UPDATE refs SET target = $4 WHERE repo_id = $1 AND name = $2 AND target = $3",
                {repo_id, branch, *old, id});
  } else {
    db.exec("SELECT id FROM repos WHERE id = $1 FOR UPDATE", {repo_id});
    if (is_blocked_in_db(db, repo_id, branch)) return BranchUpdate::name_conflict;
    changed = db.exec(
        "INSERT INTO refs (repo_id, name, target) VALUES ($1, $2, $3) ON CONFLICT DO NOTHING",
        {repo_id, branch, id});
  }
  if (changed == 0) {
    if (expected_old) return BranchUpdate::stale;
    return std::nullopt;
  }
  if (old != id) {
    db.exec(
        "INSERT INTO reflog (repo_id, name, old_target, new_target, message, created_at)"
        " VALUES ($1, $2, $3, $4, $5, $6)",
        {repo_id, branch, old.value_or(k_zero_id), id, move_message(branch), unix_now()});
  }
  return BranchUpdate::updated;
}

BranchUpdate move_db_branch(const HubContext& hub, int64_t repo_id, std::string_view branch,
                            const ObjectId& id, const std::optional<ObjectId>& expected_old) {
  const std::string root = repo_root(hub.data_dir, repo_id);
  const std::optional<ObjectId> seen = read_db_branch(hub.db, repo_id, branch);
  if (!holds_history(root, id, seen)) return BranchUpdate::incomplete_history;
  std::optional<BranchUpdate> outcome;
  hub.db.transaction([&] {
    for (int attempt = 0; attempt < k_max_swap_attempts && !outcome; ++attempt) {
      outcome = swap_once(hub.db, repo_id, std::string(branch), id, expected_old);
    }
  });
  return outcome.value_or(BranchUpdate::stale);
}

}  // namespace

std::string open_hub_store(const HubContext& hub, int64_t repo_id) {
  std::string root = repo_root(hub.data_dir, repo_id);
  if (!has_store(root)) with_repo_alone(hub, repo_id, [&] { ensure_store(root); });
  return root;
}

std::optional<ObjectId> read_hub_branch(const HubContext& hub, int64_t repo_id,
                                        std::string_view branch) {
  if (is_postgres(hub)) return read_db_branch(hub.db, repo_id, branch);
  return read_branch(repo_root(hub.data_dir, repo_id), branch);
}

BranchUpdate move_hub_branch(const HubContext& hub, int64_t repo_id, std::string_view branch,
                             const ObjectId& id, const std::optional<ObjectId>& expected_old) {
  if (is_postgres(hub)) return move_db_branch(hub, repo_id, branch, id, expected_old);
  return update_branch(repo_root(hub.data_dir, repo_id), branch, id, expected_old);
}

std::string read_hub_reflog(const HubContext& hub, int64_t repo_id) {
  if (!is_postgres(hub)) {
    std::string text;
    read_file_into(orrery_path(repo_root(hub.data_dir, repo_id), "logs/HEAD"), text);
    return text;
  }
  std::string text;
  for (const DbRow& row :
       hub.db.query("SELECT old_target, new_target, message FROM reflog WHERE repo_id = $1"
                    " ORDER BY id",
                    {repo_id})) {
    text += row.text(0) + " " + row.text(1) + "\t" + row.text(2) + "\n";
  }
  return text;
}

void with_repo_alone(const HubContext& hub, int64_t repo_id, const std::function<void()>& work) {
  // In one process the store's own lock covers every write that needs one.
  if (!is_postgres(hub)) return work();
  hub.db.transaction([&] {
    hub.db.exec("SELECT pg_advisory_xact_lock($1)", {repo_id});
    clear_stale_lock(repo_root(hub.data_dir, repo_id));
    work();
  });
}
