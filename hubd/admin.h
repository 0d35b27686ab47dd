#pragma once

#include "hubd/hub_cli.h"

// The admin commands; each takes the arguments after its first word
// ("user add alice --password-stdin --data DIR" arrives as
// "add alice --password-stdin --data DIR") and returns the exit code.
int cmd_hub_user(const HubArgs& args);
int cmd_hub_token(const HubArgs& args);
int cmd_hub_repo(const HubArgs& args);
int cmd_hub_device(const HubArgs& args);
