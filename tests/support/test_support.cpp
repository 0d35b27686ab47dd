#include "support/test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace testing_support {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/orrery-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed: " + std::string(std::strerror(errno)));
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  // A test may leave read-only directories behind; make them writable first.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (it->is_directory(ec))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

namespace {

std::vector<std::string> child_environment(const std::map<std::string, std::string>& overrides) {
  std::map<std::string, std::string> vars;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    size_t eq = entry.find('=');
    if (eq != std::string::npos) vars[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const auto& [name, value] : overrides) {
    if (value == k_unset) {
      vars.erase(name);
    } else {
      vars[name] = value;
    }
  }
  std::vector<std::string> out;
  for (const auto& [name, value] : vars) out.push_back(name + "=" + value);
  return out;
}

std::vector<char*> c_strings(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const RunOptions& options) {
  // A child that exits without reading its input must not kill the test.
  static const bool sigpipe_ignored = [] { return signal(SIGPIPE, SIG_IGN) != SIG_ERR; }();
  (void)sigpipe_ignored;
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe2(in_pipe, O_CLOEXEC) != 0 || pipe2(out_pipe, O_CLOEXEC) != 0 ||
      pipe2(err_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  std::vector<std::string> argv_strings{program};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<std::string> env_strings = child_environment(options.env);
  std::vector<char*> argv = c_strings(argv_strings);
  std::vector<char*> envp = c_strings(env_strings);

  pid_t pid = fork();
  if (pid == 0) {
    dup2(in_pipe[0], 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    if (chdir(options.cwd.c_str()) != 0) _exit(126);
    execvpe(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);

  RunResult result;
  size_t written = 0;
  int in_fd = in_pipe[1];
  if (options.stdin_text.empty()) {
    close(in_fd);
    in_fd = -1;
  } else {
    fcntl(in_fd, F_SETFL, O_NONBLOCK);
  }
  int open_outputs = 2;
  char buffer[65536];
  while (open_outputs > 0 || in_fd >= 0) {
    pollfd fds[3] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}, {in_fd, POLLOUT, 0}};
    if (poll(fds, 3, -1) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        (i == 0 ? out_pipe[0] : err_pipe[0]) = -1;
        --open_outputs;
      }
    }
    if (in_fd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t n =
          write(in_fd, options.stdin_text.data() + written, options.stdin_text.size() - written);
      if (n > 0) written += static_cast<size_t>(n);
      if (n < 0 || written == options.stdin_text.size()) {
        close(in_fd);
        in_fd = -1;
      }
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  result.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

RunResult run_orrery(const std::vector<std::string>& args, const RunOptions& options) {
  RunOptions with_user = options;
  with_user.env.emplace("USER", "tester");
  return run_program(ORRERY_BINARY, args, with_user);
}

void write_text(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read " << path;
    return {};
  }
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool path_exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

std::vector<std::string> list_files(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file()) out.push_back(fs::relative(entry.path(), dir).generic_string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string python_blob_id(const std::string& content) {
  RunOptions options;
  options.stdin_text = content;
  RunResult r =
      run_program("python3",
                  {"-c",
                   "import sys,hashlib; d=sys.stdin.buffer.read(); "
                   "print(hashlib.sha256(b'blob %d\\0' % len(d) + d).hexdigest(), end='')"},
                  options);
  EXPECT_EQ(r.code, 0) << r.err;
  return r.out;
}

RunResult OrreryTest::orrery_in(const std::string& cwd, std::initializer_list<std::string> args) {
  RunOptions options;
  options.cwd = cwd;
  return run_orrery(args, options);
}

RunResult OrreryTest::orrery_input(std::initializer_list<std::string> args,
                                   const std::string& input) {
  RunOptions options;
  options.cwd = dir.path();
  options.stdin_text = input;
  return run_orrery(args, options);
}

void OrreryTest::init_repo() {
  RunResult r = orrery({"init"});
  ASSERT_EQ(r.code, 0) << r.err;
}

}  // namespace testing_support
