#include "worktree/internal/foreign_branch.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "util/handles.h"

extern char** environ;

namespace {

// Runs argv[0] from PATH with stdin and stderr on /dev/null and returns what
// it wrote to stdout; empty when it could not be started.
std::string capture_output(std::vector<std::string> argv) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return {};
  const UniqueFd read_end(fds[0]);
  UniqueFd write_end(fds[1]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, write_end.get(), 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (std::string& arg : argv) args.push_back(arg.data());
  args.push_back(nullptr);
  pid_t pid = 0;
  int error = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return {};
  write_end.reset();
  std::string out;
  read_to_end(read_end.get(), out);  // what came before a failed read is all there is
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return out;
}

}  // namespace

std::string foreign_branch_name(const std::string& root) {
  std::string out = capture_output({"git", "-C", root, "rev-parse", "--abbrev-ref", "HEAD"});
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}
