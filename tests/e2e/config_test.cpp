#include <string>
#include <vector>

#include "support/test_support.h"

namespace testing_support {
namespace {

using ConfigCommand = OrreryTest;

TEST_F(ConfigCommand, SetsGetsListsAndUnsetsEveryKeyForm) {
  init_repo();
  for (const std::vector<std::string>& set : std::vector<std::vector<std::string>>{
           {"upstream.branch", "main"},
           {"remote.my.mirror.url", "https://h/r", "two", "words"},
           {"branch.rel/1.0.upstream.remote", "origin"},
           {"branch.rel/1.0.upstream.branch", "rel"},
           {"upstream.remote", ""}}) {
    std::vector<std::string> args{"config", "--set"};
    args.insert(args.end(), set.begin(), set.end());
    EXPECT_RUN(orrery(args), 0, "", "");
  }
  EXPECT_EQ(read_text(file(".orrery/config")),
            "[remote \"my.mirror\"]\nurl = https://h/r two words\n\n[branch \"rel/1.0\"]\n"
            "upstream.remote = origin\nupstream.branch = rel\n\n[branch]\nupstream.remote = \n"
            "upstream.branch = main\n\n");
  EXPECT_RUN(orrery({"config"}), 0,
             "upstream.remote=\nupstream.branch=main\nremote.my.mirror.url=https://h/r two words\n"
             "branch.rel/1.0.upstream.remote=origin\nbranch.rel/1.0.upstream.branch=rel\n",
             "");
  EXPECT_RUN(orrery({"config", "--get", "remote.my.mirror.url"}), 0, "https://h/r two words\n", "");
  for (const char* key : {"remote.my.mirror.url", "branch.rel/1.0.upstream.remote",
                          "branch.rel/1.0.upstream.branch", "upstream.remote"}) {
    EXPECT_RUN(orrery({"config", "--unset", key}), 0, "", "");
  }
  EXPECT_RUN(orrery({"config", "--get", "upstream.remote"}), 1, "", "");
  EXPECT_EQ(read_text(file(".orrery/config")), "[branch]\nupstream.branch = main\n\n");
}

}  // namespace
}  // namespace testing_support
