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
  const std::pair<Args, bool> cases[] = {
      {{}, false},        {{"a", "-h", "b"}, true}, {{"-m", "--help"}, true}, {{"-hv"}, false},
      {{"-help"}, false}, {{"--help=yes"}, false},  {{"--HELP"}, false},      {{"help"}, false},
  };
  for (const auto& [args, expected] : cases) {
    EXPECT_EQ(has_help_flag(args), expected) << (args.empty() ? "" : args.back());
  }
}

TEST(PrintError, WritesTheHintOnASecondIndentedLineOnlyWhenGiven) {
  StreamCapture err(std::cerr);
  print_error("что-то сломалось");
  print_error("нет такой ветки 'x'", "проверь имя");
  print_warning("осторожно");
  EXPECT_EQ(err.text(),
            "orrery: ошибка: что-то сломалось\n"
            "orrery: ошибка: нет такой ветки 'x'\n  подсказка: проверь имя\n"
            "orrery: предупреждение: осторожно\n");
}

TEST(PrintUsage, AddsTheDetailLineOnlyWhenGiven) {
  std::ostringstream out;
  print_usage(out, "orrery rm <путь>...");
  print_usage(out, "x", "  детали");
  EXPECT_EQ(out.str(), "Использование: orrery rm <путь>...\nИспользование: x\n  детали\n");
}

// The fixture puts back the defaults of a run with redirected output.
class Colour : public ::testing::Test {
 protected:
  void TearDown() override {
    g_color = true;
    set_stdout_terminal_for_testing(false);
  }
};

TEST_F(Colour, WrapsTextOnlyOnATerminalThatWasNotSwitchedOff) {
  g_color = true;
  set_stdout_terminal_for_testing(false);
  EXPECT_EQ(bold("a") + red("b") + green("c") + yellow("d") + cyan("e"), "abcde");
  g_color = false;
  set_stdout_terminal_for_testing(true);
  EXPECT_EQ(colorize("abc", "1;36"), "abc");
  g_color = true;
  EXPECT_EQ(colorize("x", "1;36"), "\x1b[1;36mx\x1b[0m");
  EXPECT_EQ(bold("b") + red("r") + green("g") + yellow("y") + cyan("c"),
            "\x1b[1mb\x1b[0m\x1b[31mr\x1b[0m\x1b[32mg\x1b[0m\x1b[33my\x1b[0m\x1b[36mc\x1b[0m");
}

}  // namespace
