#include "store/internal/raw_cache.h"

#include <gtest/gtest.h>

namespace {

TEST(RawCache, DropsTheLeastRecentlyUsedOnceOverBudget) {
  RawCache cache(10);
  cache.insert("a", "1234", 1);
  cache.insert("b", "1234", 2);
  ASSERT_NE(cache.find("a"), nullptr);  // a is now the most recent
  cache.insert("c", "1234", 3);         // 12 bytes: b goes
  EXPECT_EQ(cache.find("b"), nullptr);
  ASSERT_NE(cache.find("a"), nullptr);
  EXPECT_EQ(cache.find("c")->raw, "1234");
  EXPECT_EQ(cache.find("c")->chain, 3u);
  EXPECT_EQ(cache.size_in_bytes(), 8u);
}

TEST(RawCache, ReplacesAnEntryAndSkipsOneLargerThanTheBudget) {
  RawCache cache(10);
  cache.insert("a", "12", 1);
  cache.insert("a", "123", 5);
  EXPECT_EQ(cache.find("a")->raw, "123");
  EXPECT_EQ(cache.size_in_bytes(), 3u);
  cache.insert("big", std::string(11, 'x'), 1);
  EXPECT_EQ(cache.find("big"), nullptr);
  EXPECT_NE(cache.find("a"), nullptr);
  cache.insert("fill", std::string(10, 'x'), 1);
  EXPECT_EQ(cache.find("a"), nullptr);
  cache.clear();
  EXPECT_EQ(cache.find("fill"), nullptr);
  EXPECT_EQ(cache.size_in_bytes(), 0u);
}

}  // namespace
