#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

// A handler's arguments: the command line without the program name, the
// global options and the command name.
using Args = std::vector<std::string>;

// The global options, written once by the entry point before any handler runs.
// Process-wide on purpose: handlers and print_x functions read them, and
// do_x functions only through the progress display, which draws nothing
// unless standard error is a terminal; so a server calling do_x from many
// threads never writes them and gets the same answers whatever they hold.
extern bool g_quiet;    // --quiet / -q
extern bool g_verbose;  // --verbose / -v
extern bool g_color;    // --color / --no-color

// Writes "orrery: ошибка: <message>" and, when the hint is not empty,
// "  подсказка: <hint>" to standard error. Never coloured, never silenced.
void print_error(std::string_view message, std::string_view hint = {});

// Writes "orrery: предупреждение: <message>" to standard error.
void print_warning(std::string_view message);

// Writes "Использование: <usage>" and, when not empty, the detail line.
void print_usage(std::ostream& out, std::string_view usage, std::string_view detail = {});

// True when colour is switched on and standard output is a terminal.
bool color_enabled();

// Fixes the answer "is standard output a terminal" at what it is now, for
// the rest of the process: called before a pager takes its place.
void remember_stdout_terminal();

// For unit tests only: answers in advance whether standard output is a
// terminal, so coloured output can be checked without one.
void set_stdout_terminal_for_testing(bool is_terminal);

// Wraps text in ESC[<code>m ... ESC[0m when colour is enabled.
std::string colorize(std::string_view text, std::string_view code);
std::string bold(std::string_view text);
std::string red(std::string_view text);
std::string green(std::string_view text);
std::string yellow(std::string_view text);
std::string cyan(std::string_view text);

// True when "-h" or "--help" stands anywhere among the arguments.
bool has_help_flag(const Args& args);

// The streams every command writes its results to and reads answers from.
std::ostream& out_stream();
std::istream& in_stream();
