#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"
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

// Entry n of the chain. Throws CommandError "stash пуст" without
// refs/stash and for a missing entry.
const StashEntry& stash_entry(const Repository& repo, const std::vector<StashEntry>& chain,
                              size_t n);

// Writes copies of entries 0 … n-1 that skip entry n, and points refs/stash
// at the new top (removes it when the stack becomes empty). The old
// commits stay in the store.
void drop_stash_entry(const Repository& repo, const std::vector<StashEntry>& chain, size_t n);

enum class StashAction { list, save, show, apply, pop, drop, clear };
enum class StashShowFormat { paths, patch, stat, shortstat };

struct StashOptions {
  StashAction action = StashAction::list;
  uint32_t entry = 0;           // stash@{N} of show, apply, pop and drop
  std::string message = "WIP";  // save -m
  StashShowFormat format = StashShowFormat::paths;
};

Parsed<StashOptions> parse_stash_args(const Args& args);

// Does the action and writes what it reports on standard output to `out`.
// Throws CommandError, before changing anything, for a missing or damaged
// entry or work that saving would lose.
void do_stash(const Repository& repo, const StashOptions& opts, std::ostream& out);

// orrery stash [list|save [-m message]|show …|apply|pop|drop [stash@{N}]|clear]
int cmd_stash(const Args& args);
