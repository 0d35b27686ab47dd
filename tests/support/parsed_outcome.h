#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"

namespace testing_support {

// One line for what a parser answered, so an argument table holds options
// and errors side by side: "<message> | <hint>" (the hint part only when
// there is one), "help <topic>" (with " after <message> | <hint>" when an
// error precedes the help text), " [exit N]" after either for an exit code
// other than 1; for options, what `render` makes of them ("ok" by default).
template <class Options, class Render>
std::string parsed_outcome(const Parsed<Options>& parsed, Render render) {
  const ArgError* error = std::get_if<ArgError>(&parsed);
  if (!error) return render(std::get<Options>(parsed));
  std::string text = error->message;
  if (!error->hint.empty()) text += " | " + error->hint;
  if (!error->help_topic.empty()) {
    text =
        text.empty() ? "help " + error->help_topic : "help " + error->help_topic + " after " + text;
  }
  if (error->exit_code != 1) text += " [exit " + std::to_string(error->exit_code) + "]";
  return text;
}

template <class Options>
std::string parsed_outcome(const Parsed<Options>& parsed) {
  return parsed_outcome(parsed, [](const Options&) { return std::string("ok"); });
}

// A table over several parsers: each row names its parser as
// outcome_of<parse_x_args>.
template <auto Parser>
std::string outcome_of(const Args& args) {
  return parsed_outcome(Parser(args));
}

struct ArgRow {
  std::string (*parse)(const Args&);
  Args args;
  std::string expected;
};

inline void expect_rows(const std::vector<ArgRow>& rows) {
  for (const ArgRow& row : rows) {
    std::string line;
    for (const std::string& arg : row.args) line += "[" + arg + "] ";
    EXPECT_EQ(row.parse(row.args), row.expected) << line;
  }
}

// A table over one parser, its options shown through `render`.
using ArgTable = std::vector<std::pair<Args, std::string>>;

template <class Parse, class Render>
void expect_arg_errors(Parse parse, const ArgTable& cases, Render render) {
  for (const auto& [args, text] : cases) {
    std::string line;
    for (const std::string& arg : args) line += "[" + arg + "] ";
    EXPECT_EQ(parsed_outcome(parse(args), render), text) << line;
  }
}

template <class Parse>
void expect_arg_errors(Parse parse, const ArgTable& cases) {
  expect_arg_errors(parse, cases, [](const auto&) { return std::string("ok"); });
}

}  // namespace testing_support
