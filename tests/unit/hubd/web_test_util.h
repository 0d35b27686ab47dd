#pragma once

// Talks to a HubProcess as a browser (one session cookie, forms) or as the
// client's REST and OAuth calls do.

#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "hub_test_util.h"

namespace testing_support {

using Fields = std::vector<std::pair<std::string, std::string>>;

inline std::string form_encode(const Fields& fields) {
  std::string out;
  for (const auto& [name, value] : fields) {
    out += (out.empty() ? "" : "&") + name + "=";
    for (unsigned char c : value) {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      out += std::isalnum(c) ? std::string(1, static_cast<char>(c)) : escaped;
    }
  }
  return out;
}

// A REST call with a bearer token (none when empty) and a JSON body.
inline HubReply api_call(const HubProcess& hub, const std::string& method, const std::string& path,
                         const std::string& token, const std::string& body = "") {
  std::vector<std::string> headers = {"Content-Type: application/json"};
  if (!token.empty()) headers.push_back("Authorization: Bearer " + token);
  return web_call(hub.port(), method, "/api/v1" + path, headers, body);
}

inline HubReply oauth_call(const HubProcess& hub, const std::string& path, const Fields& fields) {
  return web_call(hub.port(), "POST", path,
                  {"Content-Type: application/x-www-form-urlencoded", "Accept: application/json"},
                  form_encode(fields));
}

inline HubReply poll_token(const HubProcess& hub, const std::string& device_code) {
  return oauth_call(hub, "/oauth/token",
                    {{"grant_type", "urn:ietf:params:oauth:grant-type:device_code"},
                     {"device_code", device_code},
                     {"client_id", "orrery-cli"}});
}

// A browser with one cookie jar.
class Browser {
 public:
  explicit Browser(const HubProcess& hub) : hub_(hub) {}

  HubReply get(const std::string& target) {
    return keep(web_call(hub_.port(), "GET", target, jar_));
  }
  HubReply post(const std::string& path, const Fields& fields) {
    std::vector<std::string> headers = jar_;
    headers.push_back("Content-Type: application/x-www-form-urlencoded");
    return keep(web_call(hub_.port(), "POST", path, headers, form_encode(fields)));
  }
  // The CSRF token of the last page's forms.
  std::string csrf() const {
    std::smatch match;
    std::regex_search(last_.body, match, std::regex("name=\"csrf_token\" value=\"(\\w+)\""));
    return match.empty() ? "" : match[1].str();
  }

 private:
  HubReply keep(HubReply reply) {
    std::smatch match;
    if (std::regex_search(reply.head, match, std::regex("Set-Cookie: ([^;\r\n]+)"))) {
      jar_ = {"Cookie: " + match[1].str()};
    }
    return last_ = reply;
  }

  const HubProcess& hub_;
  std::vector<std::string> jar_;
  HubReply last_;
};

}  // namespace testing_support
