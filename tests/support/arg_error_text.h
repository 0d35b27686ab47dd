#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"

namespace testing_support {

// One line for a parser's answer, so argument tables compare a single string:
// "message | hint" (the hint part only when there is one, " [exit N]" only
// for an exit code other than 1), or "ok" when the arguments parsed.
template <class Options>
std::string arg_error_text(const Parsed<Options>& parsed) {
  const ArgError* error = std::get_if<ArgError>(&parsed);
  if (!error) return "ok";
  std::string text = error->message;
  if (!error->hint.empty()) text += " | " + error->hint;
  if (error->exit_code != 1) text += " [exit " + std::to_string(error->exit_code) + "]";
  return text;
}

// Rows of arguments and the arg_error_text a parser answers for them.
using ArgTable = std::vector<std::pair<Args, std::string>>;

template <class Parse>
void expect_arg_errors(Parse parse, const ArgTable& cases) {
  for (const auto& [args, text] : cases) {
    std::string line;
    for (const std::string& arg : args) line += arg + " ";
    EXPECT_EQ(arg_error_text(parse(args)), text) << line;
  }
}

}  // namespace testing_support
