#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/object.h"

struct Repository;

// The files of .orrery/rebase-merge/, present exactly while a rebase is
// unfinished:
//
//   head-name   "refs/heads/<branch>\n", the branch being rebased; written
//               last and deleted first, so it alone says a rebase is on
//   onto        "<upstream id>\n"
//   orig-head   "<the branch's commit before the rebase>\n"
//   todo        "<id>\n" per commit still to replay, oldest first
//   orig-index  the bytes of .orrery/index before the rebase, which an
//               abort gives back
//   pending     the step a killed process was in the middle of; absent
//               when the rebase stopped on its own:
//                 "start <onto>\n"           moving the branch to the upstream
//                 "pick <id>\n"              replaying the first todo entry
//                 "pick <id> <new commit>\n" that entry's commit is made
//
// Readers strip spaces, tabs, "\r" and "\n" at both ends; blank todo lines
// are dropped.

struct RebaseStart {
  std::string head_name;
  ObjectId onto;
  ObjectId orig_head;
  std::vector<ObjectId> todo;
};

// The step recorded in `pending`.
struct PendingStep {
  enum Kind { start, pick } kind = pick;
  ObjectId commit;  // start: the upstream; pick: the entry being replayed
  ObjectId made;    // pick: the commit made for it, once there is one
};

bool is_rebase_in_progress(const Repository& repo);

// The trimmed content of rebase-merge/<name>, nothing when it is missing.
std::optional<std::string> read_rebase_file(const Repository& repo, std::string_view name);

// Writes every file of a new rebase, head-name last, with `pending` saying
// the branch is about to move to the upstream.
void write_rebase_start(const Repository& repo, const RebaseStart& start);

std::vector<ObjectId> read_todo(const Repository& repo);
void write_todo(const Repository& repo, const std::vector<ObjectId>& todo);

std::optional<PendingStep> read_pending_step(const Repository& repo);
// Records the step; its commits must already be on disk.
void write_pending_step(const Repository& repo, const PendingStep& step);
void clear_pending_step(const Repository& repo);

// Deletes the state, head-name first. Returns false when anything stayed.
bool remove_rebase_state(const Repository& repo);
