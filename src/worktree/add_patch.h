#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "store/object.h"

struct Repository;

enum class HunkAnswer { take, skip, take_all, skip_rest, quit, end_of_input };

// The conversation about one file's hunks: every hunk is shown, in order;
// the question follows each until the user takes all the rest.
struct HunkDialog {
  std::function<void(const std::string& relative, const std::string& hunk)> show;
  std::function<HunkAnswer()> ask;
};

// Shows hunks on out_stream() and asks on in_stream().
HunkDialog console_hunk_dialog();

struct AddPatchResult {
  enum class Outcome { staged, ignored, unchanged };
  Outcome outcome = Outcome::staged;
  std::string path;  // relative to the root
  ObjectId id;       // the staged blob
};

// orrery add -p <file>: goes through the differences between the indexed
// and the working version of one file hunk by hunk with the dialog, and
// stages the index version with the chosen hunks applied. Throws
// CommandError for a path it refuses, and when the user quits or the input
// ends (nothing is staged then). Prints nothing itself.
AddPatchResult do_add_patch(const Repository& repo, const std::vector<std::string>& paths,
                            const HunkDialog& dialog);

// Reports the outcome; answers the exit code.
int print_add_patch(const AddPatchResult& result);

// Lines for hunk selection: split at "\n", a final "\n" giving one more,
// empty line, so that join_patch_lines(split_patch_lines(x)) == x.
std::vector<std::string_view> split_patch_lines(std::string_view content);
std::string join_patch_lines(const std::vector<std::string_view>& lines);
