#include "worktree/add_patch.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string_view>;

TEST(SplitPatchLines, KeepsAFinalEmptyLineAndCarriageReturns) {
  const std::pair<std::string_view, Lines> cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\nb", {"a", "b"}},
      {"a\nb\n", {"a", "b", ""}},
      {"\n", {"", ""}},
      {"a\r\n\n", {"a\r", "", ""}},
  };
  for (const auto& [content, lines] : cases) {
    EXPECT_EQ(split_patch_lines(content), lines) << content;
    EXPECT_EQ(join_patch_lines(lines), content);
  }
}

}  // namespace
