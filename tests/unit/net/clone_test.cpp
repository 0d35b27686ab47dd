#include "net/clone.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

struct SshCase {
  std::string source;
  bool is_ssh;
  std::string user, host;
  unsigned port;
  std::string path;
};

TEST(ParseSshSource, RecognisesBothFormsAndNothingElse) {
  const SshCase cases[] = {
      {"ssh://git@example.org:2222/team/app", true, "git", "example.org", 2222, "/team/app"},
      {"ssh://example.org/app", true, "", "example.org", 22, "/app"},
      {"alice@example.org:team/app", true, "alice", "example.org", 22, "team/app"},
      {"example.org:", true, "", "example.org", 22, "."},
      {"C:\\work\\repo", true, "", "C", 22, "\\work\\repo"},
      {"ssh://example.org", false, "", "", 0, ""},  // no path: a local folder
      {"../repo", false, "", "", 0, ""},
      {"/srv/repo", false, "", "", 0, ""},
  };
  for (const SshCase& c : cases) {
    SCOPED_TRACE(c.source);
    std::optional<SshTarget> target = parse_ssh_source(c.source);
    ASSERT_EQ(target.has_value(), c.is_ssh);
    if (!target) continue;
    EXPECT_EQ(target->user, c.user);
    EXPECT_EQ(target->host, c.host);
    EXPECT_EQ(target->port, c.port);
    EXPECT_EQ(target->path, c.path);
  }
  EXPECT_THROW(parse_ssh_source("ssh://h:99999999999/x"), std::runtime_error);
}

}  // namespace
