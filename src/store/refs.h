#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/object.h"

struct Repository;

// What .orrery/HEAD says: a branch (symref) or a commit (detached); at most
// one is set, neither when HEAD is missing or unreadable.
struct HeadRef {
  std::optional<std::string> symref;    // "refs/heads/main"
  std::optional<std::string> detached;  // an object id
};

inline constexpr std::string_view k_zero_id =
    "0000000000000000000000000000000000000000000000000000000000000000";

// The trimmed content of .orrery/<name>, or nothing when there is no file.
std::optional<std::string> read_ref(const std::string& root, std::string_view name);

HeadRef parse_head(std::string_view text);
HeadRef read_head(const Repository& repo);
std::optional<std::string> head_symref(const Repository& repo);

// The commit HEAD resolves to, or nothing on an unborn branch.
std::optional<ObjectId> head_commit(const Repository& repo);

// The four ways references move; each holds the repository lock from reading
// HEAD to the end of its reflog line.
void update_ref(const Repository& repo, const std::string& name, const ObjectId& id);
void set_head_symbolic(const Repository& repo, const std::string& name);
void detach_head(const Repository& repo, const ObjectId& id);
void move_head(const Repository& repo, const ObjectId& id);

// update_ref, but only while the reference still holds `expected` (for
// nothing: while it does not exist), checked under the same lock, so a
// concurrent move is never overwritten. Returns false, writing nothing, when
// the reference moved.
bool update_ref_if(const Repository& repo, const std::string& name, const ObjectId& id,
                   const std::optional<ObjectId>& expected);

// detach_head, but only while HEAD is still detached and resolves to
// `expected` (for nothing: to no commit), checked under the same lock.
// Returns false, writing nothing, when HEAD moved or became symbolic.
bool detach_head_if(const Repository& repo, const ObjectId& id,
                    const std::optional<ObjectId>& expected);

// Appends "<old> <new>\t<message>\n" to .orrery/logs/HEAD when the ids name
// commits. The caller holds the lock.
void append_reflog(const Repository& repo, const std::optional<ObjectId>& old_id,
                   const ObjectId& new_id, std::string_view message);

// Branches directly in refs/heads, in directory order, without the leftovers
// of interrupted writes.
std::vector<std::pair<std::string, std::string>> list_branches(const Repository& repo);

// Reference files directly in .orrery/<dir> (for example "refs/tags"), in
// directory order, skipping interrupted-write leftovers.
std::vector<std::pair<std::string, std::string>> list_refs_in(const Repository& repo,
                                                              std::string_view dir);

// True for the "<name>.tmp.<digits>" files an interrupted atomic write can
// leave beside a reference.
bool is_temp_file_name(std::string_view file_name);
