#pragma once

#include "cli/console.h"
#include "hub/rest_client.h"

// orrery hub repos | orrery hub clone <owner/repo> [folder] [branch]
// [--workspace <dir>]: lists the account's hub repositories, or clones one
// by name over HTTP(S) through clone.
int cmd_hub(const Args& args);

// One line of the repository table: id, owner/name, visibility and, when
// there is one, the description; server text made printable.
void print_repo_row(const HubRepo& repo);
