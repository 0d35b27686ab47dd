#pragma once

#include "cli/console.h"

// orrery add <path...>: stores the files (directories recursively) as blobs
// and records them in the index. orrery add -p <file>: stages chosen hunks of
// one file, asking on in_stream(). Paths are relative to the repository root.
int cmd_add(const Args& args);
