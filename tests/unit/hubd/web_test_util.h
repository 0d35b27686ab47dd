#pragma once

// Talks to a HubProcess as a browser (one session cookie, forms) or as the
// client's REST and OAuth calls do.

#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "support/hub_process.h"

namespace testing_support {

struct WebReply {
  int status = 0;
  std::string head;  // status line and headers
  std::string body;
  nlohmann::json json() const { return nlohmann::json::parse(body, nullptr, false); }
};

using Fields = std::vector<std::pair<std::string, std::string>>;

inline std::string form_encode(const Fields& fields) {
  std::string out;
  for (const auto& [name, value] : fields) {
    out += (out.empty() ? "" : "&") + name + "=";
    for (unsigned char c : value) {
      if (std::isalnum(c) || c == '-' || c == '_' || c == '.') {
        out += static_cast<char>(c);
      } else {
        char escaped[4];
        std::snprintf(escaped, sizeof escaped, "%%%02X", c);
        out += escaped;
      }
    }
  }
  return out;
}

inline WebReply web_call(int port, const std::string& method, const std::string& target,
                         const std::vector<std::string>& headers = {},
                         const std::string& body = "") {
  std::string request = method + " " + target + " HTTP/1.1\r\nHost: t\r\nConnection: close\r\n";
  for (const std::string& header : headers) request += header + "\r\n";
  if (method != "GET") request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  std::string response = raw_http_exchange(port, request + "\r\n" + body);
  const size_t end = response.find("\r\n\r\n");
  if (end == std::string::npos) return {http_status_of(response), response, ""};
  return {http_status_of(response), response.substr(0, end), response.substr(end + 4)};
}

// A REST call with a bearer token (none when empty) and a JSON body.
inline WebReply api_call(const HubProcess& hub, const std::string& method, const std::string& path,
                         const std::string& token, const std::string& body = "") {
  std::vector<std::string> headers = {"Accept: application/json"};
  if (!token.empty()) headers.push_back("Authorization: Bearer " + token);
  if (method == "POST") headers.push_back("Content-Type: application/json");
  return web_call(hub.port(), method, "/api/v1" + path, headers, body);
}

inline WebReply oauth_call(const HubProcess& hub, const std::string& path, const Fields& fields) {
  return web_call(hub.port(), "POST", path,
                  {"Content-Type: application/x-www-form-urlencoded", "Accept: application/json"},
                  form_encode(fields));
}

inline WebReply poll_token(const HubProcess& hub, const std::string& device_code) {
  return oauth_call(hub, "/oauth/token",
                    {{"grant_type", "urn:ietf:params:oauth:grant-type:device_code"},
                     {"device_code", device_code},
                     {"client_id", "orrery-cli"}});
}

// A browser with one cookie jar.
class Browser {
 public:
  explicit Browser(const HubProcess& hub) : hub_(hub) {}

  WebReply get(const std::string& target) {
    return keep(web_call(hub_.port(), "GET", target, jar()));
  }
  WebReply post(const std::string& path, const Fields& fields) {
    std::vector<std::string> headers = jar();
    headers.push_back("Content-Type: application/x-www-form-urlencoded");
    return keep(web_call(hub_.port(), "POST", path, headers, form_encode(fields)));
  }
  // The CSRF token of the last page's forms.
  std::string csrf() const {
    std::smatch match;
    return std::regex_search(last_.body, match, std::regex("name=\"csrf_token\" value=\"(\\w+)\""))
               ? match[1].str()
               : "";
  }
  const std::string& cookie() const { return cookie_; }

 private:
  std::vector<std::string> jar() const {
    return cookie_.empty() ? std::vector<std::string>{}
                           : std::vector<std::string>{"Cookie: " + cookie_};
  }
  WebReply keep(WebReply reply) {
    std::smatch match;
    if (std::regex_search(reply.head, match, std::regex("Set-Cookie: ([^;\r\n]+)"))) {
      cookie_ = match[1];
    }
    last_ = reply;
    return reply;
  }

  const HubProcess& hub_;
  std::string cookie_;
  WebReply last_;
};

}  // namespace testing_support
