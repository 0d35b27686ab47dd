#include "cli/pager.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/console.h"

extern char** environ;

namespace {

pid_t g_pager_pid = -1;

std::string configured_pager() {
  if (const char* value = std::getenv("ORRERY_PAGER")) return value;
  if (const char* value = std::getenv("PAGER")) return value;
  return "less";
}

bool is_plain_char(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("-_./=+,:@%", c) != nullptr;
}

// Plain words are split here; anything a shell would interpret goes to one.
std::vector<std::string> pager_argv(const std::string& command) {
  const bool plain = std::all_of(command.begin(), command.end(),
                                 [](char c) { return c == ' ' || is_plain_char(c); });
  if (!plain) return {"sh", "-c", command};
  std::vector<std::string> words;
  for (size_t at = 0; at < command.size();) {
    const size_t end = std::min(command.find(' ', at), command.size());
    if (end > at) words.push_back(command.substr(at, end - at));
    at = end + 1;
  }
  return words;
}

std::vector<std::string> pager_environment() {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) env.emplace_back(*entry);
  if (std::getenv("LESS") == nullptr) env.emplace_back("LESS=FRX");
  return env;
}

std::vector<char*> c_strings(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

// The pager's process id, reading from `input`; -1 when it cannot start.
pid_t spawn_pager(const std::string& command, int input) {
  std::vector<std::string> argv_strings = pager_argv(command);
  std::vector<std::string> env_strings = pager_environment();
  std::vector<char*> argv = c_strings(argv_strings);
  std::vector<char*> envp = c_strings(env_strings);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
  pid_t pid = -1;
  const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return failed ? -1 : pid;
}

}  // namespace

void start_pager() {
  if (g_pager_pid > 0 || isatty(STDOUT_FILENO) != 1) return;
  const std::string configured = configured_pager();
  const size_t first = configured.find_first_not_of(' ');
  if (first == std::string::npos) return;
  const std::string command =
      configured.substr(first, configured.find_last_not_of(' ') - first + 1);
  if (command == "cat") return;

  remember_stdout_terminal();
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  const pid_t pid = spawn_pager(command, fds[0]);
  close(fds[0]);
  if (pid < 0) {
    close(fds[1]);
    return;
  }
  std::cout.flush();
  // A user who quits the pager early ends the output, not the command with
  // a signal: later writes fail quietly with EPIPE.
  signal(SIGPIPE, SIG_IGN);
  dup2(fds[1], STDOUT_FILENO);
  close(fds[1]);
  g_pager_pid = pid;
}

void finish_pager() {
  if (g_pager_pid < 0) return;
  std::cout.flush();
  close(STDOUT_FILENO);
  // Keys such as Ctrl-C belong to the pager now; leaving before it would
  // hand the terminal back to the shell while it still draws.
  signal(SIGINT, SIG_IGN);
  signal(SIGQUIT, SIG_IGN);
  int status = 0;
  while (waitpid(g_pager_pid, &status, 0) < 0 && errno == EINTR) {
  }
  g_pager_pid = -1;
}
