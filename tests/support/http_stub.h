#pragma once

// A small HTTP server on a free loopback port, run in the test's own process:
// it records every request and answers through a handler the test writes,
// so faults (statuses, damaged bodies, stalls, redirects) are easy to stage.

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

struct StubRequest {
  std::string method;
  std::string path;
  std::string body;
  std::multimap<std::string, std::string> headers;
  std::chrono::steady_clock::time_point at;

  // The value of a header, "" when absent.
  std::string header(const std::string& name) const;
};

struct StubReply {
  StubReply(int status_code = 200, std::string body_bytes = "", std::string location_url = "",
            int delay = 0)
      : status(status_code),
        body(std::move(body_bytes)),
        location(std::move(location_url)),
        delay_ms(delay) {}

  int status = 200;
  std::string body;
  std::string location;  // sets a Location header when not empty
  int delay_ms = 0;      // waits this long (or until the server stops) first
};

using StubHandler = std::function<StubReply(const StubRequest&)>;

class StubServer {
 public:
  explicit StubServer(StubHandler handler);
  ~StubServer();
  StubServer(const StubServer&) = delete;
  StubServer& operator=(const StubServer&) = delete;

  // "http://127.0.0.1:<port>"
  std::string url() const;
  std::vector<StubRequest> requests() const;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

// Sends the request on to 127.0.0.1:port and returns its answer, so a stub
// can stand in front of a real server and bend only some answers.
StubReply forward_request(int port, const StubRequest& request);

}  // namespace testing_support
