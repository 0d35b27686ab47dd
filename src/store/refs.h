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

// A reference name that can only name a file below .orrery/refs: it starts
// with "refs/", and no piece between separators ("/", and a backslash too) is
// empty, "." or "..", and no byte is a control character.
bool is_valid_reference(std::string_view name);

// Throws "Invalid reference name: <name>" unless is_valid_reference.
void check_reference_name(std::string_view name);

// The id in .orrery/<name> (blanks around it dropped), or nothing when there
// is no file (or a directory) there. Throws "Invalid reference name: <name>"
// for a name that is not is_valid_reference, and RepositoryDamaged when the
// file is not a regular one or does not hold 64 lower-case hex digits.
std::optional<std::string> read_ref(const std::string& root, std::string_view name);

// The symref is set only for "refs/heads/" + a valid name, the detached id
// only for 64 lower-case hex digits; anything else sets neither.
HeadRef parse_head(std::string_view text);
// Empty when .orrery/HEAD does not exist; throws RepositoryDamaged when it
// exists and parse_head finds neither form in it.
HeadRef read_head(const Repository& repo);
std::optional<std::string> head_symref(const Repository& repo);

// The commit HEAD resolves to, or nothing on an unborn branch.
std::optional<ObjectId> head_commit(const Repository& repo);

// The four ways references move; each holds the repository lock from reading
// HEAD to the end of its reflog line, and writes nothing for a name that is
// not is_valid_reference (set_head_symbolic: below refs/heads/) or an id
// that is not 64 lower-case hex digits, throwing instead. The written
// objects are synced first, then the reference file and its directory.
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
// directory order, skipping interrupted-write leftovers and anything that
// is not a regular file. Throws what read_ref throws for a damaged one.
std::vector<std::pair<std::string, std::string>> list_refs_in(const Repository& repo,
                                                              std::string_view dir);

// The same for every reference below .orrery/<dir>, named by its path
// below that directory ("origin/main" in refs/remotes).
std::vector<std::pair<std::string, std::string>> list_refs_below(const Repository& repo,
                                                                 std::string_view dir);

enum class RefDeletion { deleted, absent, failed };

// Removes the reference file under the lock, whatever it holds: removing is
// how a damaged reference is repaired. `absent` when there is none (or only
// a directory), `failed` when the file stays. Throws "Invalid reference
// name: <name>" and the lock's error.
RefDeletion delete_ref(const Repository& repo, const std::string& name);

// True for the "<name>.tmp.<digits>" files an interrupted atomic write can
// leave beside a reference.
bool is_temp_file_name(std::string_view file_name);
