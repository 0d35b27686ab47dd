#include <cstdlib>
#include <iostream>
#include <string>

#include "cli/console.h"
#include "cli/dispatch.h"
#include "cli/pager.h"

int main(int argc, char** argv) {
  // The terminal is assumed to speak UTF-8; there is no code page to switch.
  std::ios::sync_with_stdio(false);

  // A set, non-empty NO_COLOR is the user's standing wish for plain output;
  // an option on this command line still overrides it.
  const char* no_color = std::getenv("NO_COLOR");
  if (no_color != nullptr && *no_color != '\0') g_color = false;

  Args args;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--quiet" || arg == "-q") {
      g_quiet = true;
    } else if (arg == "--verbose" || arg == "-v") {
      g_verbose = true;
    } else if (arg == "--no-color") {
      g_color = false;
    } else if (arg == "--color") {
      g_color = true;
    } else {
      args.push_back(arg);
    }
  }
  const int code = dispatch_command(args);
  std::cout.flush();
  finish_pager();
  return code;
}
