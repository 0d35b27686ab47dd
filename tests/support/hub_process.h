#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace testing_support {

// orrery-hub running as a child process on a free loopback port with its own
// temporary data directory, for tests that talk to a real hub:
//
//   HubProcess hub;
//   std::string token = hub.add_user("alice");
//   hub.create_repo("alice/proj");
//   ... orrery push hub.repo_url("alice", "proj") with ORRERY_TOKEN=token ...
//
// The server's standard error (its access log) goes to log_path().
class HubProcess {
 public:
  // Starts `orrery-hub serve` with --listen 127.0.0.1:0 and a port file, plus
  // `extra_args` (for example {"--no-push-create"}), and waits until
  // /healthz answers. Fails the test (fatally) when it does not come up.
  explicit HubProcess(std::vector<std::string> extra_args = {});
  ~HubProcess();  // stops it
  HubProcess(const HubProcess&) = delete;
  HubProcess& operator=(const HubProcess&) = delete;

  int port() const { return port_; }
  std::string url() const;  // "http://127.0.0.1:<port>"
  // The sync base URL of a repository: url() + "/.orrery/<owner>/<name>.orrery".
  std::string repo_url(const std::string& owner, const std::string& name) const;
  const std::string& data_dir() const { return data_dir_; }
  std::string log_path() const { return dir_ / "hub.log"; }

  // Runs `orrery-hub <args> --data <data dir>`.
  RunResult admin(std::vector<std::string> args, const std::string& stdin_text = "") const;
  // Adds a user (password "secret") and returns a new token of theirs.
  std::string add_user(const std::string& name) const;
  // "owner/name"; public unless is_private.
  void create_repo(const std::string& full_name, bool is_private = false) const;

  // SIGTERM and wait; returns the exit code (or 128 + signal).
  int stop();
  // SIGKILL and wait, as a crash would end it.
  void kill_hard();
  // Starts it again on the same data directory (on a new port).
  void restart();

 private:
  void start();

  TempDir dir_;
  std::string data_dir_;
  std::vector<std::string> extra_args_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// Sends raw bytes to 127.0.0.1:port and returns everything the server sends
// back until it closes the connection or `timeout_ms` pass in silence.
std::string raw_http_exchange(int port, const std::string& request, int timeout_ms = 2000);

// The status code of a response's first line, or 0.
int http_status_of(const std::string& response);

}  // namespace testing_support
