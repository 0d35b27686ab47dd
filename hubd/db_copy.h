#pragma once

#include <cstdint>
#include <string>

#include "hubd/hub_cli.h"

class Db;

struct CopiedCounts {
  int64_t users = 0;
  int64_t repos = 0;
  int64_t branches = 0;
};

// Copies every row of the SQLite hub database `from` into the empty
// PostgreSQL one `to`, ids kept, with the branch heads and branch log of the
// repositories under data_dir, in one transaction of `to`. Throws
// std::runtime_error when `to` already holds users or repositories or a
// repository holds a malformed head, and then copies nothing.
CopiedCounts copy_hub_metadata(Db& from, Db& to, const std::string& data_dir);

// orrery-hub migrate --to URL --data DIR; returns the exit code.
int cmd_hub_migrate(const HubArgs& args);
