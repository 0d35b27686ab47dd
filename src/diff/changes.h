#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diff/patch.h"
#include "store/object.h"
#include "store/tree_walk.h"

// Reporting the differences between two sets of files, path by path, in one
// of the output formats the diff and show commands share, and reading the
// content those comparisons need without giving up on a damaged object.

enum class DiffFormat { patch, stat, shortstat, name_only, name_status };

// What a comparison has found so far.
struct ChangeReport {
  DiffFormat format = DiffFormat::patch;
  bool changed = false;         // a patch or a name written, or a change counted
  std::vector<FileStat> stats;  // the stat and shortstat formats only
};

// Compares one path's bytes and writes the result in the report's format
// (the stat formats only collect a record). Identical bytes write nothing.
void report_path(std::ostream& out, ChangeReport& report, std::string_view path,
                 std::string_view old_bytes, std::string_view new_bytes);

// True for --name-only and --name-status, which list paths without patches.
bool is_name_format(DiffFormat format);

// Lists the path with the given status letter ('A' or 'D') without comparing
// contents; only for the name formats.
void report_listed_path(std::ostream& out, ChangeReport& report, char letter,
                        std::string_view path);

// Ends a comparison: writes the summary of the stat formats when anything
// differed, and returns whether anything did.
bool finish_report(std::ostream& out, const ChangeReport& report);

// The object's content when it reads as a blob, empty when it is of another
// type, nothing when it is missing or damaged.
std::optional<std::string> read_blob(const ObjectStore& store, std::string_view id);

// read_blob, with every failure read as empty content.
std::string blob_bytes(const ObjectStore& store, std::string_view id);

// The commit the id names, or nothing when it is missing, damaged or of
// another type.
std::optional<Commit> read_commit_if_intact(const ObjectStore& store, std::string_view id);

// Path to blob id for the tree of the commit the id names; empty when the id
// names no readable commit. Throws what flatten_tree throws for unsafe trees.
PathMap commit_tree_map(const ObjectStore& store, std::string_view commit_id);
