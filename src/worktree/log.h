#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"
#include "store/object.h"

struct Repository;

struct LogOptions {
  bool oneline = false;
  bool decorate = false;
  std::optional<int32_t> max_count;  // 1..1000000
  std::optional<std::string> revision;
};

Parsed<LogOptions> parse_log_args(const Args& args);

struct LogResult {
  std::optional<ObjectId> start;  // none: no commit yet
};

// Where the listing starts: the revision, else HEAD's commit. Throws
// CommandError when the revision does not resolve.
LogResult do_log(const Repository& repo, const LogOptions& options);

// Streams the first-parent history from `start`, one reused buffer for the
// whole walk; ends quietly at a missing commit or a cycle.
void write_log(const Repository& repo, const LogOptions& options, ObjectId start,
               std::ostream& out);

// Reports the empty history, else pages the listing.
int print_log(const Repository& repo, const LogOptions& options, const LogResult& result);

// The labels that point at commits, with what HEAD says, read once per run.
struct Decorations {
  std::unordered_map<ObjectId, std::vector<std::string>> labels;
  std::optional<ObjectId> head;         // the commit HEAD resolves to
  std::optional<std::string> head_ref;  // HEAD's symbolic target
};

// Local branches, remote-tracking branches ("origin/main") and tags
// ("tag: v1") by commit id.
Decorations collect_decorations(const Repository& repo);

// "" or " (HEAD -> main, origin/main, tag: v1)" for the commit.
std::string format_decorations(const Decorations& decorations, std::string_view id);

// "refs/heads/X" -> "X", "refs/remotes/X" -> "X", "refs/tags/X" -> "tag: X".
std::string short_ref_name(std::string_view name);

// orrery log [--oneline] [--decorate…] [-n N] [revision].
int cmd_log(const Args& args);
