#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"
#include "store/object.h"

struct Repository;

// The commits a bisect step chooses from: from `bad` along first parents
// up to `good`, bad included and good not. Nothing when a commit on the way
// cannot be read or the root comes before good.
std::optional<std::vector<ObjectId>> bisect_candidates(const Repository& repo, const ObjectId& good,
                                                       const ObjectId& bad);

// The first 12 characters and "…" for an id of 13 or more, else the id.
std::string bisect_short_id(std::string_view id);

enum class BisectAction { start, good, bad, reset };

struct BisectOptions {
  BisectAction action = BisectAction::start;
  std::string revision = "HEAD";  // what good or bad marks
};

// A subcommand and, for good and bad, at most one revision.
Parsed<BisectOptions> parse_bisect_args(const Args& args);

// Told of a step taken anyway, such as a reset by id when the saved
// reference is not a branch.
using BisectWarning = std::function<void(const ArgError&)>;

// bisect start | bad [rev] | good [rev] | reset. The state lives in
// .orrery/bisect/ (original_head_oid, original_head_ref, good, bad: one
// value and "\n" each). Writes each line of the step to `out` as the step
// is made (a mark, then the commit checked out next). Throws CommandError
// for a state, revision or history that forbids the step.
void do_bisect(const Repository& repo, const BisectOptions& opts, std::ostream& out,
               const BisectWarning& warn);

int cmd_bisect(const Args& args);
