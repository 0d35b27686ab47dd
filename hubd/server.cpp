#include "hubd/server.h"

#include <httplib.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <thread>

#include "hubd/db.h"
#include "hubd/device_page.h"
#include "hubd/hub_cli.h"
#include "hubd/oauth.h"
#include "hubd/rest_api.h"
#include "hubd/schema.h"
#include "hubd/store_gate.h"
#include "hubd/sync_service.h"
#include "store/fs.h"

// One process, a pool of worker threads, one connection per worker at a
// time (cpp-httplib keeps a keep-alive connection on its worker, so the pool
// is sized for concurrent clients, not for cores). Bodies are checked before
// cpp-httplib would read them: it reads a chunked body, or one without a
// length, without any limit, so those are refused outright, and every body
// route reads through a capped reader. Signals are taken by one thread with
// sigwait, so the handler code never runs inside a signal handler.

namespace {

using Clock = std::chrono::steady_clock;

// Per worker thread: when the current request started and who made it, for
// the access log.
thread_local Clock::time_point t_started;
thread_local std::string t_user;

std::mutex g_log_mutex;

void start_request() {
  t_started = Clock::now();
  t_user.clear();
}

// Request text in the log is escaped so that a request cannot forge a line.
std::string printable(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
      static constexpr char k_digits[] = "0123456789abcdef";
      out += "\\x";
      out += k_digits[c >> 4];
      out += k_digits[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// Access log line: client, method and path (never the query, where a token
// could travel), status, body bytes, milliseconds, user.
void log_request(const httplib::Request& req, const httplib::Response& res) {
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t_started).count();
  std::string_view target = req.target;
  target = target.substr(0, target.find('?'));
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "\" %d %zu %.1fms ", res.status, res.body.size(), ms);
  // One write per line: standard error is unbuffered.
  const std::string line = req.remote_addr + " \"" + printable(req.method) + " " +
                           printable(target) + numbers + (t_user.empty() ? "-" : t_user) + "\n";
  std::lock_guard lock(g_log_mutex);
  std::fwrite(line.data(), 1, line.size(), stderr);
}

// The bodies of pages, OAuth requests and REST calls are small.
constexpr size_t k_max_web_body = size_t{1} << 20;

void send(httplib::Response& res, const Reply& reply) {
  res.status = reply.status;
  for (const auto& [name, value] : reply.headers) res.set_header(name, value);
  res.set_content(reply.body, reply.content_type);
}

WebRequest web_request(const httplib::Request& req, std::string body) {
  WebRequest request{req.method,
                     req.path,
                     {},
                     req.get_header_value("Authorization"),
                     req.get_header_value("Cookie"),
                     req.get_header_value("Content-Type"),
                     req.remote_addr,
                     std::move(body)};
  for (const auto& [name, value] : req.params) request.query.emplace(name, value);
  return request;
}

bool is_digits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

bool carries_body(std::string_view method) {
  return method == "POST" || method == "PUT" || method == "PATCH" || method == "DELETE";
}

// The refusal of a request whose body the hub will not read, or nothing.
std::optional<Reply> check_body_framing(const httplib::Request& req, size_t max_body) {
  if (req.has_header("Transfer-Encoding")) {
    return Reply{411, "Transfer-Encoding не принимается; укажи Content-Length\n"};
  }
  const std::string encoding = req.get_header_value("Content-Encoding");
  if (!encoding.empty() && encoding != "identity") {
    return Reply{415, "сжатые тела запросов не принимаются\n"};
  }
  const size_t lengths = req.get_header_value_count("Content-Length");
  if (lengths == 0) {
    if (carries_body(req.method)) return Reply{411, "нужен заголовок Content-Length\n"};
    return std::nullopt;
  }
  const std::string length = req.get_header_value("Content-Length");
  if (lengths > 1 || !is_digits(length) || length.size() > 19) {
    return Reply{400, "неверный Content-Length\n"};
  }
  if (std::stoull(length) > max_body) return Reply{413, "тело запроса слишком велико\n"};
  return std::nullopt;
}

SyncRequestHead sync_head(const httplib::Request& req) {
  SyncRequestHead head{req.method, req.target, req.get_header_value("Authorization"),
                       req.get_header_value("X-Orrery-Protocol"), std::nullopt};
  if (req.has_header("X-Orrery-Expected-Old")) {
    head.expected_old = req.get_header_value("X-Orrery-Expected-Old");
  }
  return head;
}

bool is_sync_target(std::string_view target) { return target.rfind("/.orrery/", 0) == 0; }

// Reads the body through a cap; nothing when the client did not send all of
// it or sent more than the cap.
std::optional<std::string> read_body(const httplib::Request& req,
                                     const httplib::ContentReader& reader, size_t cap) {
  std::string body;
  if (req.has_header("Content-Length")) {
    body.reserve(std::min<size_t>(cap, std::stoull(req.get_header_value("Content-Length"))));
  }
  bool over = false;
  const bool complete = reader([&](const char* data, size_t size) {
    if (size > cap - body.size()) {
      over = true;
      return false;
    }
    body.append(data, size);
    return true;
  });
  if (!complete || over) return std::nullopt;
  return body;
}

class HubServer {
 public:
  HubServer(const ServeOptions& options, Db& db)
      : options_(options), hub_{db,
                                options.data_dir,
                                options.max_body,
                                options.push_create,
                                options.public_url,
                                options.auth} {}

  void install(httplib::Server& server);
  void set_public_url(const std::string& url) { hub_.public_url = url; }

 private:
  using WebHandler = Reply (*)(const HubContext&, const WebRequest&);
  void install_web(httplib::Server& server);
  void on_web_read(const httplib::Request& req, httplib::Response& res, WebHandler handler);
  void on_web_write(const httplib::Request& req, httplib::Response& res,
                    const httplib::ContentReader& reader, WebHandler handler);
  httplib::Server::HandlerResponse before_routing(const httplib::Request& req,
                                                  httplib::Response& res);
  int on_expect_continue(const httplib::Request& req, httplib::Response& res);
  void on_sync_read(const httplib::Request& req, httplib::Response& res);
  void on_sync_write(const httplib::Request& req, httplib::Response& res,
                     const httplib::ContentReader& reader);
  void on_exception(const httplib::Request& req, httplib::Response& res, std::exception_ptr error);

  ServeOptions options_;
  HubContext hub_;
};

void HubServer::install(httplib::Server& server) {
  const int threads = options_.threads;
  server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  server.set_keep_alive_max_count(1000);
  server.set_tcp_nodelay(true);  // a response leaves in two writes; Nagle would hold the second
  server.set_payload_max_length(options_.max_body);
  server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    return before_routing(req, res);
  });
  server.set_expect_100_continue_handler(
      [this](const httplib::Request& req, httplib::Response& res) {
        return on_expect_continue(req, res);
      });
  server.set_logger(log_request);
  server.set_exception_handler([this](const httplib::Request& req, httplib::Response& res,
                                      std::exception_ptr error) { on_exception(req, res, error); });
  server.Get("/healthz", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("ok\n", "text/plain; charset=utf-8");
  });
  const std::string sync = R"(/\.orrery/.*)";
  server.Get(sync, [this](const httplib::Request& req, httplib::Response& res) {
    on_sync_read(req, res);
  });
  const httplib::Server::HandlerWithContentReader write =
      [this](const httplib::Request& req, httplib::Response& res,
             const httplib::ContentReader& reader) { on_sync_write(req, res, reader); };
  server.Post(sync, write);
  server.Put(sync, write);
  install_web(server);
}

void HubServer::install_web(httplib::Server& server) {
  auto read = [this](WebHandler handler) {
    return [this, handler](const httplib::Request& req, httplib::Response& res) {
      on_web_read(req, res, handler);
    };
  };
  auto write = [this](WebHandler handler) {
    return [this, handler](const httplib::Request& req, httplib::Response& res,
                           const httplib::ContentReader& reader) {
      on_web_write(req, res, reader, handler);
    };
  };
  server.Get("/device", read(serve_device_page));
  server.Post("/device", write(serve_device_decision));
  server.Post("/login", write(serve_sign_in));
  server.Post("/oauth/device", write(serve_device_authorization));
  server.Post("/oauth/token", write(serve_token));
  const std::string api = R"(/api/v1/.*)";
  server.Get(api, read(serve_api));
  server.Post(api, write(serve_api));
  server.Delete(api, write(serve_api));
}

void HubServer::on_web_read(const httplib::Request& req, httplib::Response& res,
                            WebHandler handler) {
  send(res, handler(hub_, web_request(req, {})));
}

void HubServer::on_web_write(const httplib::Request& req, httplib::Response& res,
                             const httplib::ContentReader& reader, WebHandler handler) {
  std::optional<std::string> body = read_body(req, reader, k_max_web_body);
  if (!body) return send(res, {413, "тело запроса слишком велико или получено не полностью\n"});
  send(res, handler(hub_, web_request(req, std::move(*body))));
}

httplib::Server::HandlerResponse HubServer::before_routing(const httplib::Request& req,
                                                           httplib::Response& res) {
  start_request();
  if (std::optional<Reply> refused = check_body_framing(req, options_.max_body)) {
    send(res, *refused);
    // The body was not read; the client must not send another request
    // after it on this connection.
    res.set_header("Connection", "close");
    return httplib::Server::HandlerResponse::Handled;
  }
  return httplib::Server::HandlerResponse::Unhandled;
}

// Refuses an upload before the client sends its body, when the answer does
// not depend on it. cpp-httplib calls this outside its exception guard, so a
// failure here lets the request go on to the route, which reports it.
int HubServer::on_expect_continue(const httplib::Request& req, httplib::Response& res) {
  start_request();
  std::optional<Reply> refused = check_body_framing(req, options_.max_body);
  if (!refused && is_sync_target(req.target)) {
    try {
      std::variant<SyncCall, Reply> admitted = admit_sync_request(hub_, sync_head(req));
      if (const Reply* reply = std::get_if<Reply>(&admitted)) refused = *reply;
    } catch (const std::exception&) {
      return 100;
    }
  }
  if (!refused) return 100;
  send(res, *refused);
  return refused->status;
}

void HubServer::on_sync_read(const httplib::Request& req, httplib::Response& res) {
  std::variant<SyncCall, Reply> admitted = admit_sync_request(hub_, sync_head(req));
  if (const Reply* refused = std::get_if<Reply>(&admitted)) return send(res, *refused);
  const SyncCall& call = std::get<SyncCall>(admitted);
  if (call.caller) t_user = call.caller->name;
  send(res, serve_sync_call(hub_, call, {}));
}

void HubServer::on_sync_write(const httplib::Request& req, httplib::Response& res,
                              const httplib::ContentReader& reader) {
  std::variant<SyncCall, Reply> admitted = admit_sync_request(hub_, sync_head(req));
  // The body is read even when the request is refused, so that the next
  // request on the connection starts where the client put it.
  std::optional<std::string> body = read_body(req, reader, options_.max_body);
  if (const Reply* refused = std::get_if<Reply>(&admitted)) return send(res, *refused);
  const SyncCall& call = std::get<SyncCall>(admitted);
  if (call.caller) t_user = call.caller->name;
  if (!body) return send(res, {400, "тело запроса получено не полностью\n"});
  send(res, serve_sync_call(hub_, call, *body));
}

void HubServer::on_exception(const httplib::Request& req, httplib::Response& res,
                             std::exception_ptr error) {
  std::string what = "unknown exception";
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    what = e.what();
  } catch (...) {
  }
  {
    std::lock_guard lock(g_log_mutex);
    std::cerr << "error: " << printable(req.method) << " "
              << printable(std::string_view(req.target).substr(0, req.target.find('?'))) << ": "
              << printable(what) << "\n";
  }
  send(res, {500, "внутренняя ошибка сервера\n"});
}

std::string default_public_url(const std::string& host, int port) {
  const bool ipv6 = host.find(':') != std::string::npos;
  return "http://" + (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

// cpp-httplib listens with a backlog of 5: a burst of new connections
// overflows it and the kernel drops SYNs, which clients resend only after a
// second. Listening again on the bound socket raises the backlog.
class BacklogServer : public httplib::Server {
 public:
  void raise_backlog() { ::listen(svr_sock_, SOMAXCONN); }
};

// Binds to the configured address; the bound port, or -1.
int bind_server(BacklogServer& server, const ServeOptions& options) {
  const int port = options.port == 0 ? server.bind_to_any_port(options.host)
                   : server.bind_to_port(options.host, options.port) ? options.port
                                                                     : -1;
  if (port >= 0) server.raise_backlog();
  return port;
}

}  // namespace

int serve_hub(const ServeOptions& options) {
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);  // every thread inherits the mask
  signal(SIGPIPE, SIG_IGN);

  ensure_directory(options.data_dir + "/repos");
  std::unique_ptr<Db> db = open_sqlite_db(options.data_dir + "/hub.db");
  migrate_schema(*db);
  if (int cleared = clear_stale_locks(options.data_dir)) {
    std::cerr << "orrery-hub: снято оставшихся блокировок репозиториев: " << cleared << "\n";
  }

  BacklogServer server;
  HubServer hub(options, *db);
  hub.install(server);
  const int port = bind_server(server, options);
  if (port < 0) {
    print_hub_error("не удалось занять адрес " + options.host + ":" + std::to_string(options.port),
                    "адрес занят или недоступен; выбери другой --listen");
    return 1;
  }
  if (options.port_file) write_file_atomic(*options.port_file, std::to_string(port) + "\n");
  const std::string url =
      options.public_url.empty() ? default_public_url(options.host, port) : options.public_url;
  hub.set_public_url(url);
  std::cerr << "orrery-hub: слушаю " << default_public_url(options.host, port)
            << "; репозитории: " << url << "/.orrery/<владелец>/<имя>.orrery" << std::endl;

  std::atomic<bool> listening_ended{false};
  std::thread signal_waiter([&] {
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    // stop() does nothing before the server runs; a signal that came that
    // early waits for it.
    while (!server.is_running() && !listening_ended) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    server.stop();
  });
  server.listen_after_bind();
  listening_ended = true;
  pthread_kill(signal_waiter.native_handle(), SIGTERM);  // wakes it when listening failed
  signal_waiter.join();
  std::cerr << "orrery-hub: остановлен" << std::endl;
  return 0;
}
