#include "store/config.h"

#include <gtest/gtest.h>

namespace {

// A section of the wrong shape is skipped whole: its keys reach neither it
// nor the section before it.
TEST(ParseConfig, ReadsRemotesAndUpstreamsAndSkipsSectionsOfTheWrongShape) {
  RepoConfig config = parse_config(
      "# comment\r\n"
      "[remote \"origin\"]\r\n"
      "url=x\r\n"
      "  url =   https://h/a=b c  \n"
      "[remote origin]\nurl = b\n"
      "[remote \"open]\nurl = c\n"
      "[remote  \"two-spaces\"]\nurl = a\n"
      "[remote \"ok\" trailing]\nurl = d\n"
      "[ remote \"trimmed\" ]\nurl = e\n"
      "[branch \"main\"]\n"
      "upstream.branch = main\n"
      "ignored = 1\n"
      "[branch]\n"
      "upstream.remote = origin\n"
      "[core]\n"
      "url = nope\n");
  ASSERT_EQ(config.remotes.size(), 3u);
  EXPECT_EQ(config.remotes["origin"].url, "https://h/a=b c");
  EXPECT_EQ(config.remotes["ok"].url, "d");
  EXPECT_EQ(config.remotes["trimmed"].url, "e");
  EXPECT_EQ(config.branches["main"].upstream_branch, "main");
  EXPECT_FALSE(config.branches["main"].upstream_remote);
  EXPECT_EQ(config.upstream_remote, "origin");
  EXPECT_FALSE(config.upstream_branch);
}

TEST(SerializeConfig, WritesBlocksInNameOrder) {
  RepoConfig config;
  EXPECT_EQ(serialize_config(config), "");
  // Assigned as strings: g++ -O3 takes copying a short literal into a map
  // entry for an overlap.
  config.remotes["origin"].url = std::string("u");
  EXPECT_EQ(serialize_config(config), "[remote \"origin\"]\nurl = u\n\n");
  config.remotes["a"].url = std::string("v");
  config.branches["topic"].upstream_branch = "main";
  config.branches["bare"];
  config.upstream_remote = "";
  EXPECT_EQ(serialize_config(config),
            "[remote \"a\"]\nurl = v\n\n"
            "[remote \"origin\"]\nurl = u\n\n"
            "[branch \"bare\"]\n\n"
            "[branch \"topic\"]\nupstream.branch = main\n\n"
            "[branch]\nupstream.remote = \n\n");
}

// Text that would not read back as written could add or change settings:
// a remote's URL set through an upstream name, say.
TEST(CheckConfig, RefusesWhatWouldNotReadBackAsItself) {
  const auto with_branch = [](const std::string& name, const std::string& remote) {
    RepoConfig config;
    config.branches[name].upstream_remote = remote;
    return config;
  };
  RepoConfig url;
  url.remotes["origin"].url = "https://example.com/a b=c";
  EXPECT_NO_THROW(check_config(url));
  EXPECT_NO_THROW(check_config(with_branch("feature/x", "origin")));
  const RepoConfig hostile[] = {
      with_branch("main", "x\n[remote \"origin\"]\nurl = http://evil"),
      with_branch("a\"b", "origin"),
      with_branch("main", " origin"),
      with_branch("main", "origin\r"),
  };
  for (const RepoConfig& config : hostile) {
    EXPECT_THROW(check_config(config), std::runtime_error) << serialize_config(config);
  }
}

}  // namespace
