#include "cli/help.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

namespace {

// Captures standard output (where help goes) with the colour decision fixed.
class HelpOutput : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = std::cout.rdbuf(buffer_.rdbuf()); }
  void TearDown() override {
    std::cout.rdbuf(saved_);
    g_color = true;
    set_stdout_terminal_for_testing(false);
  }
  void use_colour(bool on) {
    g_color = true;
    set_stdout_terminal_for_testing(on);
  }
  std::string text() const { return buffer_.str(); }

 private:
  std::ostringstream buffer_;
  std::streambuf* saved_ = nullptr;
};

TEST_F(HelpOutput, CommandLineColoursOnlyTheFirstWord) {
  use_colour(true);
  struct Case {
    std::string_view line;
    std::string_view expected;
  };
  const Case cases[] = {
      {"  help [cmd]   Показать", "  \x1b[36mhelp\x1b[0m [cmd]   Показать\n"},
      {"  pack", "  \x1b[36mpack\x1b[0m\n"},
      {"  ...     (есть)", "  \x1b[36m...\x1b[0m     (есть)\n"},
      {"    deep x", "    \x1b[36mdeep\x1b[0m x\n"},
      {"   ", "   \x1b[36m\x1b[0m\n"},
      {"  ", "  \n"},
      {" one space", " one space\n"},
      {"no indent", "no indent\n"},
  };
  for (const Case& c : cases) print_command_line(c.line);
  std::string expected;
  for (const Case& c : cases) expected += c.expected;
  EXPECT_EQ(text(), expected);
}

TEST_F(HelpOutput, GeneralHelpColoursHeadingsAndCommandWords) {
  use_colour(true);
  EXPECT_EQ(cmd_help({}), 0);
  const std::string out = text();
  EXPECT_TRUE(
      out.starts_with("\x1b[1mИспользование:\x1b[0m orrery [--quiet|--verbose|--no-color] "
                      "<команда> [аргументы]\n\x1b[1;36mГлобальные опции:\x1b[0m\n"
                      "  --quiet, -q       Тихий режим (без вывода, код 0/1)\n"))
      << out;
  EXPECT_NE(out.find("\n\x1b[1;36mКоманды:\x1b[0m\n"
                     "  \x1b[36mhelp\x1b[0m [cmd]                 Показать справку по команде\n"
                     "  \x1b[36minit\x1b[0m [путь]"),
            std::string::npos)
      << out;
  EXPECT_TRUE(
      out.ends_with("  \x1b[36m...\x1b[0m                        (есть и другие команды)\n"
                    "\nЗапусти: orrery help <cmd>\n"))
      << out;
}

}  // namespace
