#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"

struct Repository;

// orrery remote [show <name> | add <name> <url> | remove|rm <name>]: lists,
// shows, adds and removes the remotes of .orrery/config; never talks to the
// network. With the global verbose option and no arguments the listing
// carries each remote's URL after a tab.
int cmd_remote(const Args& args);

enum class RemoteAction { list, show, add, remove };

struct RemoteOptions {
  RemoteAction action = RemoteAction::list;
  std::string name;  // show, add, remove
  std::string url;   // add
};

// The options of cmd_remote's arguments; an unknown verb or a missing name
// or URL asks for the help of remote. Prints nothing.
Parsed<RemoteOptions> parse_remote_args(const Args& args);

// What show found about one remote.
struct RemoteShow {
  std::string name;
  std::string url;
  std::vector<std::string> branches;                          // with a tracking reference
  std::vector<std::pair<std::string, std::string>> tracking;  // local branch, remote branch
};

struct RemoteResult {
  RemoteAction action = RemoteAction::list;
  std::map<std::string, std::string> remotes;  // list: name to URL
  RemoteShow shown;
};

// Lists, shows, adds (checking the name and the URL first) or removes a
// remote with the branch entries that name it. Throws CommandError, having
// changed nothing, for a remote that is not there or a name or URL that may
// not be stored. Prints nothing.
RemoteResult do_remote(const Repository& repo, const RemoteOptions& opts);

// The listing (with each URL after a tab when asked) or the shown remote.
void print_remote(const RemoteResult& result, bool with_urls);

// The branches with a tracking reference under .orrery/refs/remotes/<remote>,
// sorted, as "/"-separated paths below that folder. Symbolic links and the
// leftovers of interrupted writes are skipped; directory errors throw.
std::vector<std::string> list_remote_branches(const std::string& root, const std::string& remote);
