#pragma once

#include "cli/console.h"

// orrery status [-s|--short] [-b|--branch]: where HEAD stands and what
// differs between HEAD, the index and the working tree. Exits 1 when anything
// differs (untracked files included), 0 when clean, in every output mode.
int cmd_status(const Args& args);
