#pragma once

#include "cli/console.h"

// orrery fetch [<remote|url> [branch]]: downloads one branch of a remote into
// the object store and moves refs/remotes/<remote>/<branch> to it. Every
// object is checked against its id, and the reference moves only once the
// whole history below the remote commit is present; a failed fetch stores
// nothing. Also run by pull and clone.
int cmd_fetch(const Args& args);
