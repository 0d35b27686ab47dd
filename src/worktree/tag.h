#pragma once

#include "cli/console.h"

int cmd_tag(const Args& args);
