#pragma once

#include <string>
#include <utility>
#include <variant>

// What a command's argument parser answers: its options, or the usage error
// the handler reports. Parsers print nothing, so every argument table can be
// checked as a unit and the hub can reuse a parser without capturing output.
struct ArgError {
  std::string message;  // printed after "orrery: ошибка: "
  std::string hint;     // printed as "  подсказка: <hint>" when not empty
  int exit_code = 1;
  // When not empty, the help text of this command goes to standard output
  // (after the message, if there is one): the answer to a wrong number of
  // arguments.
  std::string help_topic = {};
};

// The usage error answered with the command's help text.
inline ArgError help_error(std::string topic) { return {"", "", 1, std::move(topic)}; }

template <class Options>
using Parsed = std::variant<Options, ArgError>;

// Prints the error as every handler does and answers its exit code.
int report_arg_error(const ArgError& error);
