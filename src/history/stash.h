#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "cli/console.h"
#include "store/object.h"

struct Repository;

// One entry of the stack: a commit whose tree is the index it saved, whose
// first parent is the HEAD it was saved on and whose second parent is the
// next older entry.
struct StashEntry {
  ObjectId id;
  Commit commit;
};

// N of "stash@{N}" (decimal digits only, at most 1000000); nothing for any
// other text.
std::optional<uint32_t> parse_stash_selector(std::string_view text);

// stash@{0}, stash@{1}, …: from refs/stash along second parents, ending at
// an entry with fewer than two parents or at one that is not a readable
// commit (which is left out). Empty without refs/stash.
std::vector<StashEntry> read_stash_chain(const Repository& repo);

// Reports "stash пуст" without refs/stash and a missing entry n; false then.
bool has_stash_entry_or_report(const Repository& repo, const std::vector<StashEntry>& chain,
                               size_t n);

// Writes copies of entries 0 … n-1 that skip entry n, and points refs/stash
// at the new top (removes it when the stack becomes empty). The old
// commits stay in the store.
void drop_stash_entry(const Repository& repo, const std::vector<StashEntry>& chain, size_t n);

// orrery stash [list|save [-m message]|show …|apply|pop|drop [stash@{N}]|clear]
int cmd_stash(const Args& args);
