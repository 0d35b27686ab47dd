#pragma once

#include <optional>
#include <string>

#include "cli/console.h"

// orrery clone <source> [folder] [branch]: an http(s) source becomes a new
// repository in the folder, fetched and checked out on the branch; an SSH
// address is recognised and refused (there is no SSH transport); anything
// else is a local folder, copied without following symbolic links and then
// pointed back at its source as origin.
int cmd_clone(const Args& args);

// An SSH address, recognised only to be refused.
struct SshTarget {
  std::string user;  // empty when the address names none
  std::string host;
  unsigned port = 22;
  std::string path;
};

// "ssh://[user@]host[:port]/path" or the scp-like "[user@]host:path";
// nothing for any other text. Throws std::runtime_error for a port beyond
// 65535.
std::optional<SshTarget> parse_ssh_source(const std::string& source);
