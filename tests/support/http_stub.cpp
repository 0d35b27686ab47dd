#include "support/http_stub.h"

#include <httplib.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace testing_support {

struct StubServer::State {
  StubHandler handler;
  httplib::Server server;
  std::thread thread;
  int port = 0;
  mutable std::mutex mutex;
  std::condition_variable stopping;
  bool stopped = false;
  std::vector<StubRequest> requests;

  void answer(const httplib::Request& request, httplib::Response& response) {
    StubRequest seen{
        request.method, request.path, request.body, {}, std::chrono::steady_clock::now()};
    for (const auto& [name, value] : request.headers) seen.headers.emplace(name, value);
    {
      std::lock_guard<std::mutex> lock(mutex);
      requests.push_back(seen);
    }
    StubReply reply = handler(seen);
    if (reply.delay_ms > 0) {
      std::unique_lock<std::mutex> lock(mutex);
      stopping.wait_for(lock, std::chrono::milliseconds(reply.delay_ms),
                        [this] { return stopped; });
    }
    response.status = reply.status;
    if (!reply.location.empty()) response.set_header("Location", reply.location);
    response.set_content(reply.body, "application/octet-stream");
  }
};

std::string StubRequest::header(const std::string& name) const {
  auto it = headers.find(name);
  return it == headers.end() ? "" : it->second;
}

StubServer::StubServer(StubHandler handler) : state_(std::make_unique<State>()) {
  state_->handler = std::move(handler);
  auto answer = [state = state_.get()](const httplib::Request& request,
                                       httplib::Response& response) {
    state->answer(request, response);
  };
  state_->server.Get(".*", answer);
  state_->server.Post(".*", answer);
  state_->server.Put(".*", answer);
  // Headers and body leave in separate writes; without this each answer
  // waits for the client's delayed acknowledgement.
  state_->server.set_tcp_nodelay(true);
  state_->port = state_->server.bind_to_any_port("127.0.0.1");
  state_->thread = std::thread([state = state_.get()] { state->server.listen_after_bind(); });
  // stop() before the listener runs is lost, and the destructor would then
  // wait for a listener that never ends.
  while (!state_->server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

StubServer::~StubServer() {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->stopped = true;
  }
  state_->stopping.notify_all();
  state_->server.stop();
  state_->thread.join();
}

std::string StubServer::url() const { return "http://127.0.0.1:" + std::to_string(state_->port); }

std::vector<StubRequest> StubServer::requests() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->requests;
}

StubReply forward_request(int port, const StubRequest& request) {
  httplib::Client client("127.0.0.1", port);
  httplib::Headers headers;
  for (const auto& [name, value] : request.headers) {
    if (name != "Host" && name != "Content-Length" && name != "Content-Type" && name != "Expect" &&
        name.rfind("REMOTE_", 0) != 0 && name.rfind("LOCAL_", 0) != 0) {
      headers.emplace(name, value);
    }
  }
  const std::string type = request.header("Content-Type");
  httplib::Result result = request.method == "GET" ? client.Get(request.path, headers)
                           : request.method == "POST"
                               ? client.Post(request.path, headers, request.body, type)
                               : client.Put(request.path, headers, request.body, type);
  if (!result) return {502};
  return {result->status, result->body};
}

}  // namespace testing_support
