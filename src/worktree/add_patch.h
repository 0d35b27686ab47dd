#pragma once

#include <string>
#include <string_view>
#include <vector>

struct Repository;

// orrery add -p <file>: shows the differences between the indexed and the
// working version of one file hunk by hunk, asks on in_stream() which to
// stage, and stages the index version with the chosen hunks applied. Returns
// the exit code; nothing is staged when the user quits or input ends.
int stage_patch(const Repository& repo, const std::vector<std::string>& paths);

// Lines for hunk selection: split at "\n", a final "\n" giving one more,
// empty line, so that join_patch_lines(split_patch_lines(x)) == x.
std::vector<std::string_view> split_patch_lines(std::string_view content);
std::string join_patch_lines(const std::vector<std::string_view>& lines);
