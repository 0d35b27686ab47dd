#pragma once

#include "cli/console.h"

int cmd_rm(const Args& args);
int cmd_mv(const Args& args);
