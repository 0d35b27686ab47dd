#include "cli/progress.h"

#include <gtest/gtest.h>

namespace {

TEST(FormatProgressLine, ShowsCountsPercentSizeAndRate) {
  struct Case {
    uint64_t items, total, bytes;
    double seconds;
    std::string expected;
  };
  const Case cases[] = {
      {7, 28, 0, 0, "Упаковка: 7/28 (25%)"},
      {3, 0, 500, 0, "Упаковка: 3, 500 Б"},
      {3, 4, 3u << 20, 2, "Упаковка: 3/4 (75%), 3,0 МиБ, 1,5 МиБ/с"},
      {1, 0, uint64_t{5} << 30, 10, "Упаковка: 1, 5,0 ГиБ, 512,0 МиБ/с"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(format_progress_line("Упаковка", c.items, c.total, c.bytes, c.seconds), c.expected);
  }
}

}  // namespace
