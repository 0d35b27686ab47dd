#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"
#include "cli/progress.h"
#include "net/fetch.h"
#include "net/sync_protocol.h"
#include "store/object.h"

// orrery clone <source> [folder] [branch]: an http(s) source becomes a new
// repository in the folder, fetched and checked out on the branch; an SSH
// address is recognised and refused (there is no SSH transport); anything
// else is a local folder, copied without following symbolic links and then
// pointed back at its source as origin.
int cmd_clone(const Args& args);

enum class CloneSource { local, http };

struct CloneOptions {
  std::string source;
  std::string destination;
  std::string branch = "main";
  CloneSource kind = CloneSource::local;
};

// The options of cmd_clone's arguments: the destination derived from the
// source when not given. No source asks for the help of clone; a derived
// "." or "..", a branch that may not become a reference and an SSH address
// are errors. Prints nothing; throws std::runtime_error for an SSH port
// beyond 65535.
Parsed<CloneOptions> parse_clone_args(const Args& args);

struct CloneResult {
  std::optional<SyncFailure> refused;  // before anything was created
  std::vector<std::string> warnings;   // local: configuration names dropped
  std::optional<FetchResult> fetched;  // http
  std::optional<ObjectId> commit;      // http: the branch, created from the fetched commit
};

// A local clone copies the folder. An http(s) clone goes up to the checkout:
// creates the repository in the destination with HEAD on the branch and
// origin pointing at the source, fetches the branch and creates it. Prints
// nothing but the progress.
CloneResult do_clone(const CloneOptions& opts, Progress& progress);

// The copy's line and warnings, the fetch's line, or the failure (for http
// followed by "Не удалось клонировать по HTTP" once the repository was
// created); answers the exit code.
int print_clone(const CloneOptions& opts, const CloneResult& result);

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
