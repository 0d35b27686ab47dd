#include "net/clone.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// "user|host|port|path", or "" when the source is not an SSH address.
std::string described(const std::string& source) {
  std::optional<SshTarget> t = parse_ssh_source(source);
  return t ? t->user + "|" + t->host + "|" + std::to_string(t->port) + "|" + t->path : "";
}

TEST(ParseSshSource, RecognisesBothFormsAndNothingElse) {
  const std::pair<std::string, std::string> cases[] = {
      {"ssh://git@example.org:2222/team/app", "git|example.org|2222|/team/app"},
      {"ssh://example.org/app", "|example.org|22|/app"},
      {"alice@example.org:team/app", "alice|example.org|22|team/app"},
      {"example.org:", "|example.org|22|."},
      {"C:\\work\\repo", "|C|22|\\work\\repo"},
      {"ssh://example.org", ""},  // no path: a local folder
      {"../repo", ""},
  };
  for (const auto& [source, expected] : cases) EXPECT_EQ(described(source), expected) << source;
  EXPECT_THROW(parse_ssh_source("ssh://h:99999999999/x"), std::runtime_error);
}

}  // namespace
