#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cli/console.h"
#include "store/object.h"

struct Repository;

struct LogOptions {
  bool oneline = false;
  bool decorate = false;
  std::optional<int32_t> max_count;  // 1..1000000
  std::optional<std::string> revision;
};

// The options, or the error text when the arguments do not parse.
struct LogParse {
  LogOptions options;
  std::string error;  // empty on success
};

LogParse parse_log_options(const Args& args);

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

int cmd_log(const Args& args);
