#include "worktree/branch.h"

#include <gtest/gtest.h>

namespace {

TEST(ParseUpstreamSpec, SplitsAtTheFirstSlash) {
  auto spec = parse_upstream_spec("origin/feature/x");
  ASSERT_TRUE(spec);
  EXPECT_EQ(spec->first, "origin");
  EXPECT_EQ(spec->second, "feature/x");
  for (const char* bad : {"/main", "origin/", "origin", ""})
    EXPECT_FALSE(parse_upstream_spec(bad)) << bad;
}

TEST(IsValidRefName, AcceptsPlainAndNestedNames) {
  for (const char* name : {"main", "feature/x", "-d", "v1.0", "a..b"}) {
    EXPECT_TRUE(is_valid_ref_name(name)) << name;
  }
  for (const char* name :
       {"", "..", "../x", "a/../../b", "/abs", "C:x", "a//b", "topic/", "./x", "a\\..\\b"}) {
    EXPECT_FALSE(is_valid_ref_name(name)) << name;
  }
}

}  // namespace
