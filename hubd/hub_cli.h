#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// The command line of orrery-hub: the serve command and the admin commands.
// Messages to the operator are Russian, like the client's; the access log
// of the server is not a message and stays in plain ASCII.

using HubArgs = std::vector<std::string>;

// Writes "orrery-hub: ошибка: <message>" and, when given, "  подсказка: <hint>"
// to standard error.
void print_hub_error(std::string_view message, std::string_view hint = {});

// Bytes with an optional K, M or G suffix (powers of 1024); nothing for
// anything else, zero, or a value that does not fit.
std::optional<size_t> parse_byte_size(std::string_view text);

// Arguments after the command words: positionals, options with a value
// ("--data DIR") and bare flags.
struct HubOptions {
  std::vector<std::string> positionals;
  std::map<std::string, std::string> values;
  std::set<std::string> flags;
};

// Sorts the arguments by the options the command knows; reports an unknown
// option or a missing value and returns nothing.
std::optional<HubOptions> parse_hub_options(const HubArgs& args,
                                            const std::set<std::string>& value_options,
                                            const std::set<std::string>& flag_options);

// The whole program: the arguments without the program name; returns the
// exit code.
int run_hub_cli(const HubArgs& args);
