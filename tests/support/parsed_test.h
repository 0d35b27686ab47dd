#pragma once

#include <string>
#include <variant>

#include "cli/console.h"
#include "cli/parsed.h"

namespace testing_support {

// The usage error a parser answered, as "message | hint" (or "help <topic>"
// and what precedes the help text), or "" when it answered options: one
// string per row keeps argument tables short.
template <class Options>
std::string arg_error_of(const Parsed<Options>& parsed) {
  const ArgError* error = std::get_if<ArgError>(&parsed);
  if (!error) return "";
  if (error->help_topic.empty()) return error->message + " | " + error->hint;
  std::string text = "help " + error->help_topic;
  if (!error->message.empty()) text += " after " + error->message + " | " + error->hint;
  return text;
}

template <auto Parser>
std::string error_of(const Args& args) {
  return arg_error_of(Parser(args));
}

// One row of an argument table: a parser (error_of<parse_x_args>), the
// arguments and the answer expected.
struct ArgErrorRow {
  std::string (*parse)(const Args&);
  Args args;
  std::string error;
};

}  // namespace testing_support
