#include "worktree/branch_header.h"

#include <gtest/gtest.h>

namespace {

TEST(CommitPluralRu, FollowsTheRussianCountRules) {
  const std::pair<int64_t, std::string_view> cases[] = {
      {0, "коммитов"},   {1, "коммит"},     {2, "коммита"},   {4, "коммита"},
      {5, "коммитов"},   {11, "коммитов"},  {12, "коммитов"}, {14, "коммитов"},
      {21, "коммит"},    {22, "коммита"},   {25, "коммитов"}, {101, "коммит"},
      {111, "коммитов"}, {112, "коммитов"}, {-1, "коммит"},   {-22, "коммита"},
  };
  for (const auto& [count, word] : cases) EXPECT_EQ(commit_plural_ru(count), word) << count;
}

TEST(AbbreviateId, KeepsTwelveCharactersAndAnEllipsis) {
  EXPECT_EQ(abbreviate_id(std::string(64, 'a')), "aaaaaaaaaaaa…");
  EXPECT_EQ(abbreviate_id("abcdefabcdef"), "abcdefabcdef");
  EXPECT_EQ(abbreviate_id("abc"), "abc");
}

}  // namespace
