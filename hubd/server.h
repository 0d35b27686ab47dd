#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "hubd/web.h"

struct ServeOptions {
  std::string data_dir;
  std::string host = "127.0.0.1";
  int port = 8080;  // 0 picks a free port
  std::optional<std::string> port_file;
  std::string public_url;  // empty: http://<host>:<bound port>
  int threads = 32;
  size_t max_body = size_t{512} << 20;
  bool push_create = true;
  AuthSettings auth;
};

// Opens the data directory (creating it and its database as needed), binds,
// writes the port file, and serves until SIGTERM or SIGINT. Returns the exit
// code; a failure to bind is reported on standard error. Throws what the
// database and the store throw while opening.
int serve_hub(const ServeOptions& options);
