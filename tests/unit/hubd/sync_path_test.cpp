#include "hubd/sync_path.h"

#include <gtest/gtest.h>

#include "hubd/hub_cli.h"

namespace {

TEST(ParseSyncTarget, SplitsRepositoryAndEndpoint) {
  struct Case {
    const char* target;
    bool parses;
    SyncEndpoint endpoint;
    const char* argument;
  } cases[] = {
      {"/.orrery/alice/proj.orrery/refs/main", true, SyncEndpoint::ref, "main"},
      {"/.orrery/alice/proj.orrery/refs/feature/x", true, SyncEndpoint::ref, "feature/x"},
      {"/.orrery/alice/proj.orrery/packs", true, SyncEndpoint::pack_query, ""},
      {"/.orrery/alice/proj.orrery/packs/main", true, SyncEndpoint::branch_pack, "main"},
      {"/.orrery/alice/proj.orrery/negotiate", true, SyncEndpoint::negotiate, ""},
      {"/.orrery/alice/proj.orrery/objects/ab", true, SyncEndpoint::object, "ab"},
      {"/.orrery/alice/proj.orrery/refs/", false, {}, ""},
      {"/.orrery/alice/proj.orrery/negotiate/x", false, {}, ""},
      {"/.orrery/alice/proj/refs/main", false, {}, ""},
      {"/.orrery/alice/.orrery/refs/main", false, {}, ""},
      {"/orrery/alice/proj.orrery/refs/main", false, {}, ""},
      {"/.orrery/alice/proj.orrery", false, {}, ""},
  };
  for (const Case& c : cases) {
    std::optional<SyncTarget> target = parse_sync_target(c.target);
    ASSERT_EQ(target.has_value(), c.parses) << c.target;
    if (!target) continue;
    EXPECT_EQ(target->owner, "alice");
    EXPECT_EQ(target->repo, "proj");
    EXPECT_EQ(target->endpoint, c.endpoint) << c.target;
    EXPECT_EQ(target->argument, c.argument) << c.target;
  }
}

TEST(IsValidBranchName, RefusesWhatCouldLeaveRefsOrConfuseAUrl) {
  for (const char* good : {"main", "feature/x", "v1.2", "a\\b"}) {
    EXPECT_TRUE(is_valid_branch_name(good)) << good;
  }
  for (const char* bad : {"", "..", "a/../b", "/main", "a//b", "a/./b", "a b", "a?b", "a#b", "a%2e",
                          "a\tb", "a\x7f"}) {
    EXPECT_FALSE(is_valid_branch_name(bad)) << bad;
  }
  EXPECT_FALSE(is_valid_branch_name(std::string(201, 'a')));
}

TEST(ParseByteSize, TakesPowersOfTwoSuffixes) {
  EXPECT_EQ(parse_byte_size("512M"), size_t{512} << 20);
  EXPECT_EQ(parse_byte_size("1K"), 1024u);
  EXPECT_EQ(parse_byte_size("3G"), size_t{3} << 30);
  EXPECT_EQ(parse_byte_size("100"), 100u);
  for (const char* bad : {"", "0", "M", "1m", "1T", "-1", "1.5M", "99999999999999999999G"}) {
    EXPECT_FALSE(parse_byte_size(bad)) << bad;
  }
}

}  // namespace
