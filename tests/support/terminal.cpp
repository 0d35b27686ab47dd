#include "support/terminal.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

namespace testing_support {

namespace {

[[noreturn]] void exec_child(const std::string& program, const std::vector<std::string>& args,
                             const RunOptions& options) {
  setenv("TERM", "dumb", 1);
  for (const auto& [name, value] : options.env) {
    if (value == k_unset) {
      unsetenv(name.c_str());
    } else {
      setenv(name.c_str(), value.c_str(), 1);
    }
  }
  std::vector<std::string> strings{program};
  strings.insert(strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  if (chdir(options.cwd.c_str()) != 0) _exit(126);
  execvp(program.c_str(), argv.data());
  _exit(127);
}

}  // namespace

RunResult run_in_terminal(const std::string& program, const std::vector<std::string>& args,
                          const RunOptions& options) {
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) return {};
  if (pid == 0) exec_child(program, args, options);

  const auto deadline =
      std::chrono::steady_clock::now() +
      std::chrono::seconds(options.timeout_seconds > 0 ? options.timeout_seconds : 60);
  RunResult result;
  char buffer[4096];
  // Reading ends with EIO once every holder of the terminal's other side
  // has closed it.
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd ready{master, POLLIN, 0};
    if (poll(&ready, 1, 100) < 0 && errno != EINTR) break;
    if (ready.revents == 0) continue;
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0) break;
    result.out.append(buffer, static_cast<size_t>(n));
  }
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    usleep(5000);
  }
  close(master);
  result.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace testing_support
