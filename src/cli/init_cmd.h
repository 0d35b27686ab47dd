#pragma once

#include "cli/console.h"

// orrery init [path]: creates an empty repository (or completes a .orrery
// that has no HEAD yet).
int cmd_init(const Args& args);
