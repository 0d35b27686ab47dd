// GNU patch as an independent judge of the rendered patches: applied to the
// old file, every patch must give back the new file byte for byte.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "diff/patch.h"
#include "support/test_support.h"

namespace {

using testing_support::read_text;
using testing_support::run_program;
using testing_support::TempDir;
using testing_support::write_text;

// Applies the patch in a fresh directory holding the old file as "f.txt".
// Grouping may leave a hunk with less trailing than leading context; patch
// only accepts such a hunk away from the end of the file with enough fuzz to
// ignore the leading context, which -F3 allows. Every hunk must apply where
// its header says: patch reports any offset it needed.
std::string apply_patch(const std::string& old_text, const std::string& patch_text) {
  TempDir dir;
  write_text(dir / "f.txt", old_text);
  write_text(dir / "p.diff", patch_text);
  testing_support::RunOptions options;
  options.cwd = dir.path();
  const auto result = run_program(
      "patch", {"-p1", "-F3", "--batch", "--no-backup-if-mismatch", "-i", "p.diff"}, options);
  EXPECT_EQ(result.code, 0) << result.out << result.err << patch_text;
  EXPECT_EQ(result.out.find("offset"), std::string::npos) << result.out << patch_text;
  return read_text(dir / "f.txt");
}

std::string patch_for(const std::string& old_text, const std::string& new_text) {
  return file_patch("f.txt", split_lines(old_text), split_lines(new_text), 3);
}

// A random file from a small vocabulary, so equal lines are common, and a
// copy with a few scattered edits. The old file ends in a line found nowhere
// else: with fuzz, patch tries a hunk short of trailing context only at the
// end of the file, and a unique last line keeps it from matching there by
// accident.
std::pair<std::string, std::string> random_pair(std::mt19937& rng) {
  const size_t vocabulary = 2 + rng() % 6;
  std::vector<std::string> old_lines(1 + rng() % 40);
  for (std::string& line : old_lines) line = "w" + std::to_string(rng() % vocabulary);
  std::vector<std::string> new_lines = old_lines;
  for (size_t edits = 1 + rng() % 6; edits > 0; --edits) {
    const size_t at = rng() % (new_lines.size() + 1);
    const std::string word = "w" + std::to_string(rng() % (vocabulary + 1));
    if (at == new_lines.size() || rng() % 3 == 0) {
      new_lines.insert(new_lines.begin() + static_cast<long>(at), word);
    } else if (rng() % 2) {
      new_lines.erase(new_lines.begin() + static_cast<long>(at));
    } else {
      new_lines[at] = word;
    }
  }
  std::string old_text;
  std::string new_text;
  for (const std::string& line : old_lines) old_text += line + "\n";
  for (const std::string& line : new_lines) new_text += line + "\n";
  old_text += "old end\n";
  new_text += rng() % 2 ? "old end\n" : "new end\n";
  return {old_text, new_text};
}

TEST(FilePatchOracle, PatchReproducesTheNewFileOnRandomEdits) {
  std::mt19937 rng(4242);
  for (int round = 0; round < 200; ++round) {
    const auto [old_text, new_text] = random_pair(rng);
    const std::string patch_text = patch_for(old_text, new_text);
    if (patch_text.empty()) continue;  // the edits cancelled out
    ASSERT_EQ(apply_patch(old_text, patch_text), new_text) << "round " << round;
  }
}

TEST(FilePatchOracle, PatchReproducesWholeFileAdditionsAndRemovals) {
  const std::string text = "one\ntwo\nthree\n";
  EXPECT_EQ(apply_patch("", patch_for("", text)), text);
  EXPECT_EQ(apply_patch(text, patch_for(text, "")), "");
}

}  // namespace
