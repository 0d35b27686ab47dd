#include "tools/reflog.h"

#include <gtest/gtest.h>

namespace {

TEST(ParseReflogCount, AcceptsOnlyWholeDecimalsFromOneToAMillion) {
  const std::pair<std::string, std::optional<uint32_t>> cases[] = {
      {"1", 1},   {"10", 10},  {"1000000", 1000000},
      {"007", 7}, {"0", {}},   {"1000001", {}},
      {"", {}},   {"10x", {}}, {"+5", {}},
      {"-5", {}}, {" 5", {}},  {"99999999999999999999", {}},
  };
  for (const auto& [text, count] : cases) EXPECT_EQ(parse_reflog_count(text), count) << text;
}

}  // namespace
