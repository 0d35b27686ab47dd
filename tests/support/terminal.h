#pragma once

#include <string>
#include <vector>

#include "support/test_support.h"

namespace testing_support {

// Runs a program with standard input, output and error on a new
// pseudo-terminal, as a user at a terminal would, and returns in `out`
// everything written to it (the terminal turns "\n" into "\r\n"); `err`
// stays empty. Redirect a stream inside the child with `sh -c` to take it
// off the terminal. Options as for run_program; the child has TERM=dumb.
RunResult run_in_terminal(const std::string& program, const std::vector<std::string>& args,
                          const RunOptions& options = {});

}  // namespace testing_support
