#include <string>

#include "store/refs.h"
#include "support/test_support.h"

namespace testing_support {
namespace {

class ReflogCommand : public OrreryTest {
 protected:
  void SetUp() override { init_repo(); }
};

TEST_F(ReflogCommand, ListsTheLogNewestFirstWithShortIds) {
  const std::string a(64, 'a'), b(64, 'b'), c(64, 'c');
  const std::string log = std::string(k_zero_id) + " " + a + "\tобновление: main\n" + a + " " + b +
                          "\tпереключение: refs/heads/topic\n" + b + " " + c + "\tHEAD: detach\n";
  write_text(file(".orrery/logs/HEAD"), log);
  const std::string newest_two =
      "bbbbbbbbbbbb → cccccccccccc\tHEAD: detach\n"
      "aaaaaaaaaaaa → bbbbbbbbbbbb\tпереключение: refs/heads/topic\n";
  const std::string all = newest_two + "000000000000 → aaaaaaaaaaaa\tобновление: main\n";
  EXPECT_RUN(orrery({"reflog"}), 0, all, "");
  EXPECT_RUN(orrery({"reflog", "-n", "2"}), 0, newest_two, "");
  EXPECT_RUN(orrery({"reflog", "--max-count=2"}), 0, newest_two, "");
  EXPECT_RUN(orrery({"reflog", "-n", "1000000"}), 0, all, "");
  EXPECT_EQ(read_text(file(".orrery/logs/HEAD")), log);
}

TEST_F(ReflogCommand, PrintsLinesOfAnotherShapeUnchanged) {
  write_text(file(".orrery/logs/HEAD"),
             "no tab here\n"
             "\tstarts with a tab\n"
             "nospace\tmessage\n"
             "short ids\tkept whole\r\n"
             "0123456789abcdef fedcba9876543210 extra\tlast, no line feed");
  EXPECT_RUN(orrery({"reflog"}), 0,
             "0123456789ab → fedcba987654\tlast, no line feed\n"
             "short → ids\tkept whole\n"
             "nospace\tmessage\n"
             "\tstarts with a tab\n"
             "no tab here\n",
             "");
}

TEST_F(ReflogCommand, ReportsAMissingOrEmptyLog) {
  EXPECT_RUN(orrery({"reflog"}), 0, "reflog пуст (.orrery/logs/HEAD ещё нет)\n", "");
  write_text(file(".orrery/logs/HEAD"), "");
  EXPECT_RUN(orrery({"reflog"}), 0, "reflog пуст\n", "");
}

}  // namespace
}  // namespace testing_support
