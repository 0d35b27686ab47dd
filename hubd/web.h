#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class Db;

// What the hub's handlers share and exchange with the HTTP server: the
// context every request sees, the request as the pages, the OAuth endpoints
// and the REST API read it, and the reply they give back. Only server.cpp
// talks to the HTTP library.

// How long the secrets of a login live, in seconds.
struct AuthSettings {
  int device_interval = 5;  // the least gap between two polls of one device code
  int device_expires = 900;
  int access_token_lifetime = 3600;
};

// What every request handler of the hub shares.
struct HubContext {
  Db& db;
  std::string data_dir;
  size_t max_body = 0;  // bytes; also caps one object's inflated size
  bool push_create = true;
  std::string public_url;  // where clients and browsers reach the hub; no trailing "/"
  AuthSettings auth;
};

struct Reply {
  using Headers = std::vector<std::pair<std::string, std::string>>;

  Reply(int status_code = 200, std::string text = {},
        std::string type = "text/plain; charset=utf-8", Headers extra = {})
      : status(status_code),
        body(std::move(text)),
        content_type(std::move(type)),
        headers(std::move(extra)) {}

  int status;
  std::string body;
  std::string content_type;
  Headers headers;  // beyond Content-Type
};

struct WebRequest {
  std::string method;
  std::string path;                          // percent-decoded, without the query
  std::map<std::string, std::string> query;  // decoded; the first value of a repeated name
  std::string authorization;
  std::string cookie;
  std::string content_type;
  std::string peer;  // the connection's remote address, never a forwarded one
  std::string body;
};

// The token of an "Authorization: Bearer <token>" header, or empty.
std::string bearer_token(std::string_view authorization);

// The pairs of an application/x-www-form-urlencoded body; nothing when an
// escape is malformed or a name repeats (a repeated parameter is ambiguous,
// and OAuth forbids it).
std::optional<std::map<std::string, std::string>> parse_form(std::string_view body);

// True when the Content-Type names that media type (parameters ignored).
bool has_media_type(std::string_view content_type, std::string_view media_type);

// The value of one cookie of a Cookie header, or empty.
std::string cookie_value(std::string_view header, std::string_view name);

// Text for HTML element content and double-quoted attribute values.
std::string html_escape(std::string_view text);

// Valid UTF-8 without control characters (C0, DEL or C1): text the hub may
// store for a client to print.
bool is_printable_text(std::string_view text);

// Unix seconds, and milliseconds, now.
int64_t unix_now();
int64_t unix_now_ms();
