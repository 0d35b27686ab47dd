#pragma once

#include "cli/console.h"

// orrery pull [--ff-only|--rebase] [<remote|url> <branch>]: fetches the
// current branch's upstream, then brings the current branch up to it: a
// fast-forward (or creation) followed by a checkout, else a merge or, with
// --rebase, a rebase onto the tracking reference. The integration is done by
// the checkout, merge and rebase handlers themselves.
int cmd_pull(const Args& args);
