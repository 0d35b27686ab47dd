#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "diff/engine.h"

// Text renderings of a diff: unified patches, the per-file statistics with
// their bar and summary lines, and the name-status letters.

// One hunk as "@@ -<old start>,<old count> +<new start>,<new count> @@" and
// its entries, each written as the operation character, the line and "\n".
// Counts are always written; a start is never adjusted for an empty side.
std::string render_hunk(const EditScript& script, const Hunk& hunk);

// The unified patch of one file, headers "diff -- a/<path> b/<path>",
// "--- a/<path>" and "+++ b/<path>" included; empty when nothing changed.
std::string file_patch(std::string_view path, const std::vector<std::string_view>& old_lines,
                       const std::vector<std::string_view>& new_lines, size_t context);

// Writes the patch of one file (three lines of context, a blank line after
// it) or, when either side is binary, a short notice. Identical bytes write
// nothing and leave `changed` alone; any difference sets it, even one that
// yields no hunk (only the final newline differs).
void print_file_patch(std::ostream& out, std::string_view path, std::string_view old_bytes,
                      std::string_view new_bytes, bool& changed);

struct FileStat {
  std::string path;
  uint32_t insertions = 0;
  uint32_t deletions = 0;
  bool binary = false;
};

// Counts the added and removed lines of one file; nothing for identical
// bytes, a record without counts when either side is binary.
std::optional<FileStat> file_stat(std::string_view path, std::string_view old_bytes,
                                  std::string_view new_bytes);

// One " <path> | <count> <bar>" line per record, then the summary line.
void print_stat(std::ostream& out, const std::vector<FileStat>& stats);

// The summary line alone: " N files changed, I insertions(+), D deletions(-)".
void print_shortstat(std::ostream& out, const std::vector<FileStat>& stats);

// "+" and "-" in proportion to the counts, at most `width` characters; a
// non-zero count always gets at least one character.
std::string stat_bar(uint32_t insertions, uint32_t deletions, uint32_t width = 52);

// 'A' when only the new content is non-empty, 'D' when only the old one is,
// 'M' otherwise (also when both are empty).
char name_status_letter(std::string_view old_bytes, std::string_view new_bytes);
