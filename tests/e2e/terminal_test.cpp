#include "support/terminal.h"

#include <sys/stat.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace testing_support {
namespace {

class TerminalTest : public OrreryTest {
 protected:
  void SetUp() override {
    init_repo();
    write_text(file("a.txt"), "alpha\n");
    orrery({"add", "a.txt"});
    orrery({"commit", "-m", "first"});
    // The pager records its arguments and LESS, then keeps what it was given.
    write_text(pager, "#!/bin/sh\nprintf '%s|%s' \"$*\" \"${LESS-unset}\" > " + tools / "ran" +
                          "\ncat > " + tools / "paged" + "\n");
    chmod(pager.c_str(), 0755);
  }

  // orrery (or, given "sh", a shell command line) on a terminal.
  RunResult in_terminal(const std::vector<std::string>& args,
                        std::map<std::string, std::string> env,
                        const std::string& program = ORRERY_BINARY) {
    std::remove((tools / "ran").c_str());
    env.emplace("ORRERY_PAGER", k_unset);
    env.emplace("PAGER", k_unset);
    env.emplace("LESS", k_unset);
    return run_in_terminal(program, args, {dir.path(), "", env, 30});
  }

  TempDir tools;
  std::string pager = tools / "pager.sh";
};

TEST_F(TerminalTest, PagerIsChosenFromTheEnvironmentOnATerminal) {
  struct Case {
    std::map<std::string, std::string> env;
    std::string recorded;  // "" when no pager may run
  };
  const std::vector<Case> cases = {
      {{{"ORRERY_PAGER", pager}}, "|FRX"},
      {{{"ORRERY_PAGER", "  " + pager + " -x  y "}, {"LESS", "M"}}, "-x y|M"},
      {{{"ORRERY_PAGER", pager + " 'one arg' \"$HOME\""}, {"HOME", "/h"}}, "one arg /h|FRX"},
      {{{"PAGER", pager}}, "|FRX"},
      {{{"ORRERY_PAGER", "cat"}, {"PAGER", pager}}, ""},
      {{{"ORRERY_PAGER", " "}, {"PAGER", pager}}, ""},
      {{{"ORRERY_PAGER", tools / "missing-pager"}}, ""},
  };
  for (const Case& c : cases) {
    const std::string label = c.env.begin()->second;
    RunResult result = in_terminal({"log", "--oneline"}, c.env);
    EXPECT_EQ(result.code, 0) << label;
    if (c.recorded.empty()) {
      EXPECT_FALSE(path_exists(tools / "ran")) << label;
      EXPECT_NE(result.out.find(" first\r\n"), std::string::npos) << label << result.out;
    } else {
      EXPECT_EQ(read_text(tools / "ran"), c.recorded) << label;
      EXPECT_NE(read_text(tools / "paged").find(" first\n"), std::string::npos) << label;
      EXPECT_EQ(result.out, "") << label;
    }
  }
}

TEST_F(TerminalTest, PagerKeepsColourAndStaysOffWhenOutputIsRedirected) {
  EXPECT_EQ(in_terminal({"diff"}, {{"ORRERY_PAGER", pager}}).code, 0);
  EXPECT_EQ(read_text(tools / "paged"), "\x1b[32mНет отличий\x1b[0m\n");

  RunResult piped = in_terminal({"-c", std::string(ORRERY_BINARY) + " diff | cat"},
                                {{"ORRERY_PAGER", pager}}, "sh");
  EXPECT_EQ(piped.out, "Нет отличий\r\n");
  EXPECT_FALSE(path_exists(tools / "ran"));
}

TEST_F(TerminalTest, QuittingThePagerEarlyEndsTheCommandQuietly) {
  std::string lines;
  for (int i = 0; i < 100000; ++i) lines += "match\n";
  write_text(file("big.txt"), lines);
  RunResult result = in_terminal({"grep", "-n", "match"}, {{"ORRERY_PAGER", "true"}});
  EXPECT_EQ(result.code, 0);
  EXPECT_EQ(result.out, "");
}

}  // namespace
}  // namespace testing_support
