#pragma once

#include <optional>
#include <string>

#include "cli/console.h"
#include "net/sync_protocol.h"
#include "store/object.h"

struct Repository;

// orrery fetch [<remote|url> [branch]]: downloads one branch of a remote into
// the object store and moves refs/remotes/<remote>/<branch> to it. Every
// object is checked against its id, and the reference moves only once the
// whole history below the remote commit is present; a failed fetch stores
// nothing. Also run by pull and clone.
int cmd_fetch(const Args& args);

// One branch of one remote.
struct FetchTarget {
  std::string remote;  // names the tracking reference only
  std::string url;
  std::string branch;
};

// The target of cmd_fetch's arguments (none, a remote name or URL, then a
// branch) under the repository's configuration; nothing, with the failure,
// when the default remote is not configured or a name may not become a
// reference. Reads only.
std::optional<FetchTarget> resolve_fetch_target(const Repository& repo, const Args& args,
                                                SyncFailure& failure);

// What a fetch did: on success the tracking reference it moved and the
// commit it now names.
struct FetchResult {
  std::optional<SyncFailure> failure;  // then nothing was stored
  std::string tracking_ref;            // refs/remotes/<remote>/<branch>
  ObjectId commit;
};

// The fetch itself, with the token of current_token (a hub URL without one
// fails before any request). Prints nothing; throws only the store's errors.
FetchResult fetch_remote_branch(const Repository& repo, const FetchTarget& target);
