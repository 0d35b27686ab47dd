#pragma once

#include <string>
#include <variant>

#include "cli/parsed.h"

namespace testing_support {

// One line for what a parser answered, so an argument table can hold the
// options and the errors side by side: "help <topic>", "error <message> |
// <hint>" (with " exit <n>" unless 1), or what `render` makes of the options.
template <class Options, class Render>
std::string parsed_outcome(const Parsed<Options>& parsed, Render render) {
  const ArgError* error = std::get_if<ArgError>(&parsed);
  if (!error) return render(std::get<Options>(parsed));
  std::string line =
      error->help_topic.empty() ? "error " + error->message : "help " + error->help_topic;
  if (!error->hint.empty()) line += " | " + error->hint;
  if (error->exit_code != 1) line += " exit " + std::to_string(error->exit_code);
  return line;
}

}  // namespace testing_support
