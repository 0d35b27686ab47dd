#include "cli/console.h"

#include <unistd.h>

#include <iostream>
#include <optional>

#include "cli/help.h"
#include "cli/parsed.h"

bool g_quiet = false;
bool g_verbose = false;
bool g_color = true;

void print_error(std::string_view message, std::string_view hint) {
  std::string text = "orrery: ошибка: ";
  text.append(message).append("\n");
  if (!hint.empty()) text.append("  подсказка: ").append(hint).append("\n");
  std::cout.flush();  // keep the order of both streams when they share a file
  std::cerr << text;
}

void print_warning(std::string_view message) {
  std::cout.flush();
  std::cerr << "orrery: предупреждение: " << message << "\n";
}

void print_usage(std::ostream& out, std::string_view usage, std::string_view detail) {
  out << "Использование: " << usage << "\n";
  if (!detail.empty()) out << detail << "\n";
}

namespace {

// Whether standard output is a terminal. Asked once: it cannot change while
// the process runs. Unset until the first colour decision that needs it.
std::optional<bool> g_stdout_is_terminal;

}  // namespace

bool color_enabled() {
  // Terminals here understand escape sequences without a mode switch, so the
  // only questions are the user's switch and whether stdout is a terminal.
  if (!g_color) return false;
  if (!g_stdout_is_terminal) g_stdout_is_terminal = isatty(STDOUT_FILENO) == 1;
  return *g_stdout_is_terminal;
}

void set_stdout_terminal_for_testing(bool is_terminal) { g_stdout_is_terminal = is_terminal; }

void remember_stdout_terminal() {
  if (!g_stdout_is_terminal) g_stdout_is_terminal = isatty(STDOUT_FILENO) == 1;
}

std::string colorize(std::string_view text, std::string_view code) {
  if (!color_enabled()) return std::string(text);
  std::string out = "\x1b[";
  out.append(code).append("m").append(text).append("\x1b[0m");
  return out;
}

std::string bold(std::string_view text) { return colorize(text, "1"); }
std::string red(std::string_view text) { return colorize(text, "31"); }
std::string green(std::string_view text) { return colorize(text, "32"); }
std::string yellow(std::string_view text) { return colorize(text, "33"); }
std::string cyan(std::string_view text) { return colorize(text, "36"); }

bool has_help_flag(const Args& args) {
  for (const std::string& arg : args) {
    if (arg == "-h" || arg == "--help") return true;
  }
  return false;
}

std::ostream& out_stream() { return std::cout; }
std::istream& in_stream() { return std::cin; }

int report_arg_error(const ArgError& error) {
  if (!error.message.empty() || error.help_topic.empty()) print_error(error.message, error.hint);
  if (!error.help_topic.empty()) cmd_help({error.help_topic});
  return error.exit_code;
}
