#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"
#include "cli/progress.h"
#include "net/fetch.h"
#include "store/object.h"
#include "worktree/checkout.h"

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
  std::vector<std::string> warnings;  // local: configuration names dropped
  CheckoutResult checkout;            // http
};

// What an http clone tells as it goes, so that a later failure is reported
// after what was done before it.
struct CloneEvents {
  std::function<void()> created;                    // the new repository exists
  std::function<void(const FetchResult&)> fetched;  // and holds the branch's history
};

// A local clone copies the folder. An http(s) clone creates the repository
// in the destination with HEAD on the branch and origin pointing at the
// source, fetches the branch, creates it and checks it out. Throws
// CommandError for a source, destination or server that stops the clone
// (an http one may leave the created repository behind). Prints nothing but
// the progress.
CloneResult do_clone(const CloneOptions& opts, Progress& progress, const CloneEvents& events);

// The copy's line and warnings, or the checkout's line.
void print_clone(const CloneOptions& opts, const CloneResult& result);

// Clones as cmd_clone does once the arguments are parsed: the fetch's line
// as soon as it is done, and after the error of an http clone that failed
// once its repository existed "Не удалось клонировать по HTTP". Answers the
// exit code.
int run_clone(const CloneOptions& opts);

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
