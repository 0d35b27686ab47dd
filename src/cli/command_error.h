#pragma once

#include <stdexcept>
#include <utility>

#include "cli/parsed.h"

// An expected failure met while a command works (a name that resolves to
// nothing, a state that forbids the step). A do_x function throws it
// instead of printing, so callers other than the console get a value; the
// handler reports it exactly as a usage error.
class CommandError : public std::runtime_error {
 public:
  explicit CommandError(ArgError error)
      : std::runtime_error(error.message), error_(std::move(error)) {}
  CommandError(std::string message, std::string hint)
      : CommandError(ArgError{std::move(message), std::move(hint)}) {}
  const ArgError& error() const { return error_; }

 private:
  ArgError error_;
};

// Runs a handler's work step; a CommandError it throws is printed and its
// exit code answered.
template <class Step>
int report_command_error(Step&& step) {
  try {
    return step();
  } catch (const CommandError& e) {
    return report_arg_error(e.error());
  }
}
