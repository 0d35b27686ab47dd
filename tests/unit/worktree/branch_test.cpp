#include "worktree/branch.h"

#include <gtest/gtest.h>

namespace {

TEST(ParseUpstreamName, SplitsAtTheFirstSlash) {
  auto parts = parse_upstream_name("origin/feature/x");
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->first, "origin");
  EXPECT_EQ(parts->second, "feature/x");
  for (const char* bad : {"/main", "origin/", "origin", ""})
    EXPECT_FALSE(parse_upstream_name(bad)) << bad;
}

TEST(IsValidRefName, AcceptsPlainAndNestedNames) {
  for (const char* name : {"main", "feature/x", "-d", "v1.0", "a..b"}) {
    EXPECT_TRUE(is_valid_ref_name(name)) << name;
  }
  for (const char* name : {"", "..", "../x", "a/../../b", "/abs", "C:x", "a//b", "topic/", "./x",
                           "a\\..\\b", "x\ny", "tab\there"}) {
    EXPECT_FALSE(is_valid_ref_name(name)) << name;
  }
}

}  // namespace
