#include "support/test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

// An anonymous in-memory file holding `content`, positioned at its start.
int memory_file(const std::string& content) {
  const int fd = memfd_create("orrery-test", MFD_CLOEXEC);
  if (fd < 0 || write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()) ||
      lseek(fd, 0, SEEK_SET) != 0) {
    throw std::runtime_error("memfd failed: " + std::string(std::strerror(errno)));
  }
  return fd;
}

// Everything in the file, which is then closed.
std::string drain(int fd) {
  std::string text;
  char buffer[65536];
  lseek(fd, 0, SEEK_SET);
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  close(fd);
  return text;
}

RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const RunOptions& options) {
  // In-memory files, not pipes, carry the streams: nobody has to keep up
  // with a writer.
  const int in = memory_file(options.stdin_text), out = memory_file(""), err = memory_file("");
  std::vector<std::string> argv_strings{program};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<std::string> env_strings = child_environment(options.env);
  std::vector<char*> argv = c_strings(argv_strings);
  std::vector<char*> envp = c_strings(env_strings);

  const pid_t pid = fork();
  if (pid == 0) {
    if (dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
        chdir(options.cwd.c_str()) != 0) {
      _exit(126);
    }
    execvpe(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(in);
  int status = 0;
  if (options.timeout_seconds > 0) {
    for (int waited_ms = 0; waitpid(pid, &status, WNOHANG) == 0; waited_ms += 10) {
      if (waited_ms >= options.timeout_seconds * 1000) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        break;
      }
      usleep(10000);
    }
  } else {
    waitpid(pid, &status, 0);
  }
  return {drain(out), drain(err), WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)};
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

ScopedEnv::ScopedEnv(const std::map<std::string, std::string>& values) {
  for (const auto& [name, value] : values) {
    const char* old = std::getenv(name.c_str());
    saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    if (value == k_unset) {
      ::unsetenv(name.c_str());
    } else {
      ::setenv(name.c_str(), value.c_str(), 1);
    }
  }
}

ScopedEnv::~ScopedEnv() {
  for (const auto& [name, value] : saved_) {
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }
}

}  // namespace testing_support
