#pragma once

#include "cli/console.h"

// orrery push [-u|--set-upstream] [-f|--force|--force-with-lease]
// [<remote|url> [branch]]: sends the history of HEAD's commit to a remote,
// moves the remote branch (guarded by the commit last seen there unless
// forced) and then refs/remotes/<remote>/<branch>.
int cmd_push(const Args& args);
