#include <exception>
#include <string>
#include <vector>

#include "hubd/hub_cli.h"

int main(int argc, char** argv) {
  try {
    return run_hub_cli(HubArgs(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    print_hub_error(e.what());
    return 1;
  }
}
