#include <sys/stat.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "support/hub_process.h"
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

  // A shell command line run by `script` on a pseudo-terminal; `out` is
  // what the terminal showed ("\n" shown as "\r\n").
  RunResult in_terminal(const std::string& command, std::map<std::string, std::string> env) {
    std::remove((tools / "ran").c_str());
    for (const char* name : {"ORRERY_PAGER", "PAGER", "LESS"}) env.emplace(name, k_unset);
    env["SHELL"] = "/bin/sh";
    return run_program("script", {"-qefc", command, "/dev/null"}, {dir.path(), "", env, 30});
  }

  TempDir tools;
  std::string pager = tools / "pager.sh";
  const std::string orrery_bin = ORRERY_BINARY;
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
    RunResult result = in_terminal(orrery_bin + " log --oneline", c.env);
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
  EXPECT_EQ(in_terminal(orrery_bin + " diff", {{"ORRERY_PAGER", pager}}).code, 0);
  EXPECT_EQ(read_text(tools / "paged"), "\x1b[32mНет отличий\x1b[0m\n");

  RunResult piped = in_terminal(orrery_bin + " diff | cat", {{"ORRERY_PAGER", pager}});
  EXPECT_EQ(piped.out, "Нет отличий\r\n");
  EXPECT_FALSE(path_exists(tools / "ran"));
}

TEST_F(TerminalTest, QuittingThePagerEarlyEndsTheCommandQuietly) {
  std::string lines;
  for (int i = 0; i < 100000; ++i) lines += "match\n";
  write_text(file("big.txt"), lines);
  RunResult result = in_terminal(orrery_bin + " grep -n match", {{"ORRERY_PAGER", "true"}});
  EXPECT_EQ(result.code, 0);
  EXPECT_EQ(result.out, "");
}

// The drawn lines of a progress, each ended by its clearing.
bool has_progress(const std::string& terminal, const std::string& title) {
  return terminal.find("\r" + title + ": ") != std::string::npos &&
         terminal.find("\r\x1b[K") != std::string::npos;
}

TEST_F(TerminalTest, ProgressGoesToATerminalOnlyAndIsClearedBeforeTheResult) {
  for (int i = 0; i < 50; ++i) write_text(file("d/f" + std::to_string(i)), std::to_string(i));
  RunResult added = in_terminal(orrery_bin + " add d > added.txt", {});
  EXPECT_TRUE(has_progress(added.out, "Добавление файлов")) << added.out;
  EXPECT_EQ(read_text(file("added.txt")).find("Добавление"), std::string::npos);
  RunResult status = in_terminal(orrery_bin + " status -s", {});
  EXPECT_TRUE(has_progress(status.out, "Проверка файлов")) << status.out;
  EXPECT_LT(status.out.rfind("\x1b[K"), status.out.find("A  d/f0\r\n")) << status.out;
  EXPECT_TRUE(has_progress(in_terminal(orrery_bin + " gc", {}).out, "Упаковка объектов"));

  // Per-item output on the same terminal, --quiet and a redirected standard
  // error each keep the progress away.
  write_text(file("d/new"), "new");
  EXPECT_EQ(in_terminal(orrery_bin + " add d/new", {}).out.find("\x1b[K"), std::string::npos);
  EXPECT_EQ(in_terminal(orrery_bin + " -q status", {}).out, "");
  EXPECT_EQ(in_terminal(orrery_bin + " status -s 2>err.txt", {}).out.find("\x1b[K"),
            std::string::npos);
}

TEST_F(TerminalTest, PushAndCloneShowObjectsAndBytes) {
  HubProcess hub;
  const std::map<std::string, std::string> env{{"ORRERY_TOKEN", hub.add_user("alice")},
                                               {"XDG_CONFIG_HOME", dir / "config"}};
  const std::string url = hub.repo_url("alice", "p");
  RunResult pushed = in_terminal(orrery_bin + " push " + url, env);
  EXPECT_TRUE(has_progress(pushed.out, "Отправка объектов") && pushed.code == 0) << pushed.out;
  EXPECT_NE(pushed.out.find("/3 ("), std::string::npos) << pushed.out;
  RunResult cloned = in_terminal(orrery_bin + " clone " + url + " copy", env);
  EXPECT_TRUE(has_progress(cloned.out, "Получение объектов") && cloned.code == 0) << cloned.out;
  RunResult copied = in_terminal(orrery_bin + " clone . " + tools / "local", {});
  EXPECT_TRUE(has_progress(copied.out, "Копирование файлов") && copied.code == 0) << copied.out;
  EXPECT_EQ(read_text(dir / "copy/a.txt"), "alpha\n");
}

}  // namespace
}  // namespace testing_support
