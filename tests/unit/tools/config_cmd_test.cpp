#include "tools/config_cmd.h"

#include <gtest/gtest.h>

namespace {

using Field = ConfigKey::Field;

TEST(ParseConfigKey, SplitsByFixedPrefixAndSuffixSoNamesMayHoldDots) {
  const struct {
    std::string key;
    std::optional<Field> field;
    std::string name;
  } cases[] = {
      {"upstream.remote", Field::upstream_remote, ""},
      {"remote.origin.url", Field::remote_url, "origin"},
      {"remote.a.b.url", Field::remote_url, "a.b"},
      {"branch.rel/1.0.upstream.remote", Field::branch_remote, "rel/1.0"},
      {"branch.upstream.branch.upstream.branch", Field::branch_branch, "upstream.branch"},
      {"remote..url", {}, ""},
      {"branch.upstream.remote", {}, ""},
      {"remote.origin.URL", {}, ""},
      {"upstream.remote.x", {}, ""},
  };
  for (const auto& c : cases) {
    std::optional<ConfigKey> key = parse_config_key(c.key);
    ASSERT_EQ(key.has_value(), c.field.has_value()) << c.key;
    if (!key) continue;
    EXPECT_EQ(key->field, *c.field) << c.key;
    EXPECT_EQ(key->name, c.name) << c.key;
  }
}

}  // namespace
