#include "hub/credentials.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "hub/form.h"
#include "net/http_client.h"
#include "net/hub_url.h"
#include "store/fs.h"
#include "util/text.h"

// The credentials file holds one line: either the bare token, or the compact
// JSON record {"access_token":...,"expires_at":...,"refresh_token":...}
// (keys in order, the last two only when known). It is written whole and
// readable by its owner only.

using nlohmann::json;

namespace {

// Without trailing line ends and blanks and leading blanks.
std::string_view trim_token_text(std::string_view text) {
  return trim_left(trim_right(text, k_blanks_and_line_ends), " \t");
}

std::string_view trim_white_space(std::string_view text) { return trim(text); }

// A string member trimmed by `trim`; nothing when it is absent or null, and
// `valid` cleared when it has another type.
std::optional<std::string> string_member(const json& record, const char* key, bool& valid,
                                         std::string_view (*trim)(std::string_view)) {
  auto it = record.find(key);
  if (it == record.end() || it->is_null()) return std::nullopt;
  if (!it->is_string()) {
    valid = false;
    return std::nullopt;
  }
  return std::string(trim(it->get_ref<const std::string&>()));
}

std::optional<int64_t> integer_member(const json& record, const char* key) {
  auto it = record.find(key);
  if (it == record.end() || !it->is_number_integer()) return std::nullopt;
  if (it->is_number_unsigned() && it->get<uint64_t>() > INT64_MAX) return INT64_MAX;
  return it->get<int64_t>();
}

std::optional<Credentials> parse_record(std::string_view text) {
  json record = json::parse(text, nullptr, false);
  if (!record.is_object()) return std::nullopt;
  bool valid = true;
  Credentials credentials;
  std::optional<std::string> access = string_member(record, "access_token", valid, trim_token_text);
  credentials.refresh_token = string_member(record, "refresh_token", valid, trim_token_text);
  if (!valid || !access) return std::nullopt;
  credentials.access_token = std::move(*access);
  credentials.expires_at = integer_member(record, "expires_at");
  return credentials;
}

void write_credentials(const std::string& text, std::initializer_list<std::string_view> tokens) {
  for (std::string_view token : tokens) {
    if (!is_sendable_token(token)) throw std::runtime_error("Token contains a control character");
  }
  write_private_file_atomic(credentials_path(), text);
}

int64_t unix_now() { return static_cast<int64_t>(std::time(nullptr)); }

}  // namespace

std::optional<std::string> credentials_dir() {
  if (const char* xdg = non_empty_env("XDG_CONFIG_HOME")) return std::string(xdg) + "/orrery";
  if (const char* local = non_empty_env("LOCALAPPDATA")) return std::string(local) + "/orrery";
  if (const char* home = non_empty_env("HOME")) return std::string(home) + "/.config/orrery";
  return std::nullopt;
}

std::string credentials_path() {
  std::optional<std::string> dir = credentials_dir();
  return dir ? *dir + "/credentials" : ".orrery_credentials";
}

std::optional<Credentials> load_credentials() {
  std::string content;
  if (!read_file_into(credentials_path(), content)) return std::nullopt;
  std::string_view text = trim_token_text(content);
  if (text.empty()) return std::nullopt;
  if (text.front() != '{') return Credentials{true, std::string(text), std::nullopt, std::nullopt};
  return parse_record(text);
}

void save_plain_token(const std::string& token) { write_credentials(token + "\n", {token}); }

void save_oauth_tokens(const std::string& access_token,
                       const std::optional<std::string>& refresh_token,
                       std::optional<int64_t> expires_at) {
  json record = {{"access_token", access_token}};
  if (expires_at) record["expires_at"] = *expires_at;
  const std::string refresh = refresh_token.value_or("");
  if (!refresh.empty()) record["refresh_token"] = refresh;
  write_credentials(record.dump() + "\n", {access_token, refresh});
}

void delete_credentials() { remove_path(credentials_path()); }

std::optional<std::string> current_token() {
  std::optional<std::string> token;
  if (const char* env = std::getenv("ORRERY_TOKEN")) {
    token = std::string(trim_white_space(env));
  } else if (std::optional<Credentials> stored = load_credentials()) {
    token = stored->access_token;
    if (!stored->plain && stored->expires_at && unix_now() + 120 >= *stored->expires_at) {
      stored = refresh_access_token() ? load_credentials() : std::nullopt;
      token = stored && !stored->plain ? std::optional(stored->access_token) : std::nullopt;
    }
  }
  if (!token || token->empty() || !is_sendable_token(*token)) return std::nullopt;
  return token;
}

bool refresh_access_token() {
  std::optional<Credentials> stored = load_credentials();
  if (!stored || stored->plain || stored->refresh_token.value_or("").empty()) return false;
  const std::string body = form_encode({{"grant_type", "refresh_token"},
                                        {"refresh_token", *stored->refresh_token},
                                        {"client_id", oauth_client_id()}});
  HttpClient client;
  HttpResponse response =
      client.post(oauth_token_url(), body,
                  {"Content-Type: application/x-www-form-urlencoded", "Accept: application/json"});
  if (!response.error.empty() || response.status < 200 || response.status > 299) return false;
  std::optional<TokenResponse> answer = parse_token_response(response.body);
  if (!answer) return false;
  std::optional<int64_t> expires_at;
  // A hundred years is "never" for a token; beyond it the sum could overflow.
  constexpr int64_t k_century = int64_t{100} * 366 * 24 * 3600;
  if (answer->expires_in > 0) expires_at = unix_now() + std::min(answer->expires_in, k_century);
  const std::string& refresh =
      answer->refresh_token.value_or("").empty() ? *stored->refresh_token : *answer->refresh_token;
  save_oauth_tokens(answer->access_token, refresh, expires_at);
  return true;
}

std::string oauth_client_id() {
  const char* id = non_empty_env("ORRERY_OAUTH_CLIENT_ID");
  return id ? id : "orrery-cli";
}

std::string oauth_token_url() {
  const char* url = non_empty_env("ORRERY_OAUTH_TOKEN_URL");
  return url ? url : hub_base_url() + "/oauth/token";
}

std::optional<TokenResponse> parse_token_response(std::string_view body) {
  json answer = json::parse(body, nullptr, false);
  if (!answer.is_object() || answer.contains("error")) return std::nullopt;
  bool valid = true;
  TokenResponse token;
  std::optional<std::string> access =
      string_member(answer, "access_token", valid, trim_white_space);
  token.refresh_token = string_member(answer, "refresh_token", valid, trim_white_space);
  if (!valid || !access) return std::nullopt;
  token.access_token = std::move(*access);
  token.expires_in = integer_member(answer, "expires_in").value_or(0);
  return token;
}
