#include "support/hub_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace testing_support {

namespace {

int wait_for_exit(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int read_port_file(const std::string& path) {
  std::ifstream in(path);
  int port = 0;
  return in >> port ? port : 0;
}

}  // namespace

HubProcess::HubProcess(std::vector<std::string> extra_args)
    : data_dir_(dir_ / "data"), extra_args_(std::move(extra_args)) {
  start();
}

HubProcess::~HubProcess() {
  if (pid_ > 0) stop();
}

std::string HubProcess::url() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::string HubProcess::repo_url(const std::string& owner, const std::string& name) const {
  return url() + "/.orrery/" + owner + "/" + name + ".orrery";
}

void HubProcess::start() {
  const std::string port_file = dir_ / "port";
  unlink(port_file.c_str());
  std::vector<std::string> args = {"serve",       "--data",      data_dir_, "--listen",
                                   "127.0.0.1:0", "--port-file", port_file};
  args.insert(args.end(), extra_args_.begin(), extra_args_.end());
  std::vector<char*> argv{const_cast<char*>(ORRERY_HUB_BINARY)};
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int log = open(log_path().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  pid_ = fork();
  if (pid_ == 0) {
    dup2(log, 1);
    dup2(log, 2);
    execv(ORRERY_HUB_BINARY, argv.data());
    _exit(127);
  }
  close(log);
  // Sanitizer builds start slowly on a busy machine: allow ten seconds.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    port_ = read_port_file(port_file);
    if (port_ > 0 && http_status_of(raw_http_exchange(port_,
                                                      "GET /healthz HTTP/1.1\r\nHost: t\r\n"
                                                      "Connection: close\r\n\r\n")) == 200) {
      return;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  FAIL() << "orrery-hub did not come up; its log:\n" << read_text(log_path());
}

int HubProcess::stop() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  const int code = wait_for_exit(pid_);
  pid_ = -1;
  return code;
}

void HubProcess::kill_hard() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  wait_for_exit(pid_);
  pid_ = -1;
}

void HubProcess::restart() {
  stop();
  start();
}

RunResult HubProcess::admin(std::vector<std::string> args, const std::string& stdin_text) const {
  args.push_back("--data");
  args.push_back(data_dir_);
  RunOptions options;
  options.stdin_text = stdin_text;
  return run_program(ORRERY_HUB_BINARY, args, options);
}

std::string HubProcess::add_user(const std::string& name) const {
  RunResult added = admin({"user", "add", name, "--password-stdin"}, "secret\n");
  EXPECT_EQ(added.code, 0) << added.err;
  RunResult token = admin({"token", "create", name});
  EXPECT_EQ(token.code, 0) << token.err;
  return token.out.substr(0, token.out.find('\n'));
}

void HubProcess::create_repo(const std::string& full_name, bool is_private) const {
  std::vector<std::string> args = {"repo", "create", full_name};
  if (is_private) args.push_back("--private");
  RunResult created = admin(args);
  EXPECT_EQ(created.code, 0) << created.err;
}

std::string raw_http_exchange(int port, const std::string& request, int timeout_ms) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string response;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
          static_cast<ssize_t>(request.size())) {
    pollfd waiting{fd, POLLIN, 0};
    char buffer[65536];
    while (poll(&waiting, 1, timeout_ms) > 0) {
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      response.append(buffer, n);
    }
  }
  close(fd);
  return response;
}

int http_status_of(const std::string& response) {
  if (response.compare(0, 9, "HTTP/1.1 ") != 0 || response.size() < 12) return 0;
  return std::stoi(response.substr(9, 3));
}

}  // namespace testing_support
