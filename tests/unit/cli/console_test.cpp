#include "cli/console.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

namespace {

// Captures what is written to one standard stream while it lives.
class StreamCapture {
 public:
  explicit StreamCapture(std::ostream& stream) : stream_(stream), saved_(stream.rdbuf()) {
    stream_.rdbuf(buffer_.rdbuf());
  }
  ~StreamCapture() { stream_.rdbuf(saved_); }
  std::string text() const { return buffer_.str(); }

 private:
  std::ostream& stream_;
  std::streambuf* saved_;
  std::ostringstream buffer_;
};

TEST(HasHelpFlag, FindsOnlyTheExactSpellingsAnywhere) {
  struct Case {
    Args args;
    bool expected;
  };
  const Case cases[] = {
      {{}, false},
      {{"-h"}, true},
      {{"--help"}, true},
      {{"-m", "--help"}, true},
      {{"a", "-h", "b"}, true},
      {{"-hv"}, false},
      {{"-help"}, false},
      {{"--help=yes"}, false},
      {{"--HELP"}, false},
      {{"-H"}, false},
      {{"help"}, false},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& arg : c.args) joined += "[" + arg + "]";
    EXPECT_EQ(has_help_flag(c.args), c.expected) << joined;
  }
}

TEST(PrintError, WritesOneLineWithoutHint) {
  StreamCapture err(std::cerr);
  print_error("что-то сломалось");
  EXPECT_EQ(err.text(), "orrery: ошибка: что-то сломалось\n");
}

TEST(PrintError, WritesTheHintOnASecondIndentedLine) {
  StreamCapture err(std::cerr);
  print_error("нет такой ветки 'x'", "проверь имя");
  EXPECT_EQ(err.text(), "orrery: ошибка: нет такой ветки 'x'\n  подсказка: проверь имя\n");
}

TEST(PrintWarning, WritesOneLineToStandardError) {
  StreamCapture err(std::cerr);
  print_warning("осторожно");
  EXPECT_EQ(err.text(), "orrery: предупреждение: осторожно\n");
}

TEST(PrintUsage, AddsTheDetailLineOnlyWhenGiven) {
  std::ostringstream out;
  print_usage(out, "orrery rm <путь>...");
  EXPECT_EQ(out.str(), "Использование: orrery rm <путь>...\n");
  print_usage(out, "x", "  детали");
  EXPECT_EQ(out.str(), "Использование: orrery rm <путь>...\nИспользование: x\n  детали\n");
}

// Each test states both the user's switch and the terminal answer; the
// fixture puts back the defaults of a run with redirected output.
class Colour : public ::testing::Test {
 protected:
  void TearDown() override {
    g_color = true;
    set_stdout_terminal_for_testing(false);
  }
};

TEST_F(Colour, LeavesTextPlainWithoutATerminal) {
  g_color = true;
  set_stdout_terminal_for_testing(false);
  EXPECT_FALSE(color_enabled());
  EXPECT_EQ(colorize("abc", "1;36"), "abc");
  EXPECT_EQ(bold("a") + red("b") + green("c") + yellow("d") + cyan("e"), "abcde");
}

TEST_F(Colour, LeavesTextPlainWhenSwitchedOffOnATerminal) {
  g_color = false;
  set_stdout_terminal_for_testing(true);
  EXPECT_FALSE(color_enabled());
  EXPECT_EQ(red("abc"), "abc");
}

TEST_F(Colour, WrapsEachPieceWithItsCodeAndAReset) {
  g_color = true;
  set_stdout_terminal_for_testing(true);
  EXPECT_TRUE(color_enabled());
  EXPECT_EQ(colorize("x", "1;36"), "\x1b[1;36mx\x1b[0m");
  EXPECT_EQ(bold("b"), "\x1b[1mb\x1b[0m");
  EXPECT_EQ(red("r"), "\x1b[31mr\x1b[0m");
  EXPECT_EQ(green("g"), "\x1b[32mg\x1b[0m");
  EXPECT_EQ(yellow("y"), "\x1b[33my\x1b[0m");
  EXPECT_EQ(cyan("c"), "\x1b[36mc\x1b[0m");
  EXPECT_EQ(red(""), "\x1b[31m\x1b[0m");
}

}  // namespace
