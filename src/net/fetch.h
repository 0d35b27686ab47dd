#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"
#include "cli/progress.h"
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

// [<remote|url> [branch]]: none names the default remote and branch.
struct FetchOptions {
  std::vector<std::string> positionals;
};

// The options of cmd_fetch's arguments; more than two ask for the help of
// fetch. Prints nothing.
Parsed<FetchOptions> parse_fetch_args(const Args& args);

// What a fetch did: the tracking reference it moved and the commit it now
// names.
struct FetchResult {
  FetchTarget target;
  std::string tracking_ref;  // refs/remotes/<remote>/<branch>
  ObjectId commit;
};

// Resolves the target under the repository's configuration and fetches it
// with the token of current_token. Throws CommandError, having stored
// nothing, for a default remote that is not configured, a name that may not
// become a reference, a hub URL without a token (before any request) or a
// server that fails or lies. Prints nothing but the transfer's progress.
FetchResult do_fetch(const Repository& repo, const FetchOptions& opts, Progress& progress);

// "Скачано <branch> с <url>".
void print_fetch(const FetchResult& result);
