#include "hubd/oauth.h"

#include <nlohmann/json.hpp>

#include "hubd/crypto.h"
#include "hubd/db.h"

// A device code is 32 random bytes in hexadecimal; a user code is eight
// letters from an alphabet without vowels or look-alikes (no 0/O, 1/I),
// about 34 bits, which the approval page's attempt limit protects. Both are
// stored as their SHA-256 (the device code) or as typed-then-normalized
// letters (the user code, which a person reads off the screen anyway).
//
// Tokens: "orrery_oat_" access tokens live in the tokens table beside the
// personal ones, with an expiry and the grant they descend from; refresh
// tokens rotate on every use, and presenting a used one again revokes the
// whole grant: whoever holds a copy of a rotated token holds a stolen one.

namespace {

constexpr std::string_view k_user_code_letters = "BCDFGHJKLMNPQRSTVWXZ";
constexpr size_t k_user_code_size = 8;
constexpr const char* k_device_grant = "urn:ietf:params:oauth:grant-type:device_code";
constexpr int64_t k_refresh_lifetime = int64_t{90} * 24 * 3600;
constexpr size_t k_max_scope = 200;
// A client that sleeps the whole interval between polls can still arrive a
// little early when its previous request took longer to connect; that is
// not polling too fast.
constexpr int64_t k_poll_slack_ms = 250;

Reply oauth_json(int status, const nlohmann::json& body) {
  return {status,
          body.dump(),
          "application/json",
          {{"Cache-Control", "no-store"}, {"Pragma", "no-cache"}}};
}

Reply oauth_error(std::string_view error, int status = 400) {
  return oauth_json(status, {{"error", error}});
}

std::string random_user_code() {
  std::string code;
  while (code.size() < k_user_code_size) {
    for (unsigned char byte : random_bytes(16)) {
      // 240 is the largest multiple of 20 below 256: no letter is likelier.
      if (byte < 240 && code.size() < k_user_code_size) {
        code += k_user_code_letters[byte % k_user_code_letters.size()];
      }
    }
  }
  return code;
}

// RFC 6749's scope: space-separated tokens of printable ASCII without '"'
// and '\'.
bool is_valid_scope(std::string_view scope) {
  if (scope.size() > k_max_scope) return false;
  for (char c : scope) {
    if (c < 0x20 || c > 0x7e || c == '"' || c == '\\') return false;
  }
  return true;
}

std::optional<std::string> client_name(Db& db, std::string_view client_id) {
  std::vector<DbRow> rows =
      db.query("SELECT name FROM oauth_clients WHERE client_id = $1", {std::string(client_id)});
  if (rows.empty()) return std::nullopt;
  return rows[0].text(0);
}

std::optional<std::map<std::string, std::string>> read_form(const WebRequest& request) {
  if (!has_media_type(request.content_type, "application/x-www-form-urlencoded")) {
    return std::nullopt;
  }
  return parse_form(request.body);
}

std::string form_value(const std::map<std::string, std::string>& form, const std::string& name) {
  auto found = form.find(name);
  return found == form.end() ? std::string() : found->second;
}

// Inserts a device code with a fresh user code; a user code still taken by
// another row is drawn again.
std::string insert_device_code(const HubContext& hub, const std::string& device_code,
                               const std::string& client_id, const std::string& scope) {
  const int64_t now = unix_now();
  hub.db.exec("DELETE FROM device_codes WHERE expires_at < $1", {now - 3600});
  for (int attempt = 0;; ++attempt) {
    std::string user_code = random_user_code();
    try {
      hub.db.exec(
          "INSERT INTO device_codes (device_hash, user_code, client_id, scope, status,"
          " poll_interval, created_at, expires_at) VALUES ($1, $2, $3, $4, 'pending', $5, $6, $7)",
          {sha256_digest_hex(device_code), user_code, client_id, scope,
           int64_t{hub.auth.device_interval}, now, now + hub.auth.device_expires});
      return user_code;
    } catch (const DbConstraintError&) {
      if (attempt == 3) throw;
    }
  }
}

struct IssuedTokens {
  std::string access;
  std::string refresh;
};

IssuedTokens issue_tokens(const HubContext& hub, int64_t grant_id, int64_t user_id) {
  const int64_t now = unix_now();
  // Dead rows of earlier refreshes go here, where new ones come from.
  hub.db.exec("DELETE FROM tokens WHERE expires_at <= $1", {now});
  hub.db.exec("DELETE FROM refresh_tokens WHERE created_at + $2 <= $1", {now, k_refresh_lifetime});
  IssuedTokens tokens{"orrery_oat_" + random_hex(32), "orrery_ort_" + random_hex(32)};
  hub.db.exec(
      "INSERT INTO tokens (user_id, token_hash, created_at, grant_id, expires_at)"
      " VALUES ($1, $2, $3, $4, $5)",
      {user_id, sha256_digest_hex(tokens.access), now, grant_id,
       now + hub.auth.access_token_lifetime});
  hub.db.exec("INSERT INTO refresh_tokens (grant_id, token_hash, created_at) VALUES ($1, $2, $3)",
              {grant_id, sha256_digest_hex(tokens.refresh), now});
  return tokens;
}

Reply token_reply(const HubContext& hub, const IssuedTokens& tokens, const std::string& scope) {
  nlohmann::json body = {{"access_token", tokens.access},
                         {"token_type", "Bearer"},
                         {"expires_in", hub.auth.access_token_lifetime},
                         {"refresh_token", tokens.refresh}};
  if (!scope.empty()) body["scope"] = scope;
  return oauth_json(200, body);
}

void revoke_grant(Db& db, int64_t grant_id) {
  db.exec("UPDATE oauth_grants SET revoked_at = $2 WHERE id = $1 AND revoked_at IS NULL",
          {grant_id, unix_now()});
  db.exec("DELETE FROM tokens WHERE grant_id = $1", {grant_id});
}

// One poll of a device code. Runs inside a transaction, so two polls of
// one code are ordered and only one of them consumes it.
Reply poll_device_code(const HubContext& hub, const std::string& device_code,
                       const std::string& client_id) {
  std::vector<DbRow> rows = hub.db.query(
      "SELECT id, client_id, status, user_id, poll_interval, last_poll_ms, expires_at, scope"
      " FROM device_codes WHERE device_hash = $1",
      {sha256_digest_hex(device_code)});
  if (rows.empty() || rows[0].text(1) != client_id) return oauth_error("invalid_grant");
  const DbRow& row = rows[0];
  const int64_t id = row.integer(0);
  const std::string& status = row.text(2);
  if (status == "consumed") return oauth_error("invalid_grant");
  if (row.integer(6) <= unix_now()) return oauth_error("expired_token");
  if (status == "denied") return oauth_error("access_denied");
  if (status == "pending") {
    const int64_t now_ms = unix_now_ms();
    const bool too_soon =
        !row.is_null(5) && now_ms - row.integer(5) < row.integer(4) * 1000 - k_poll_slack_ms;
    hub.db.exec(
        "UPDATE device_codes SET last_poll_ms = $2, poll_interval = poll_interval + $3"
        " WHERE id = $1",
        {id, now_ms, int64_t{too_soon ? 5 : 0}});
    return oauth_error(too_soon ? "slow_down" : "authorization_pending");
  }
  if (hub.db.exec("UPDATE device_codes SET status = 'consumed' WHERE id = $1 AND status = "
                  "'approved'",
                  {id}) != 1) {
    return oauth_error("invalid_grant");
  }
  const int64_t user_id = row.integer(3);
  std::vector<DbRow> grant = hub.db.query(
      "INSERT INTO oauth_grants (user_id, client_id, scope, created_at) VALUES ($1, $2, $3, $4)"
      " RETURNING id",
      {user_id, client_id, row.text(7), unix_now()});
  return token_reply(hub, issue_tokens(hub, grant.at(0).integer(0), user_id), row.text(7));
}

Reply refresh(const HubContext& hub, const std::string& refresh_token,
              const std::string& client_id) {
  std::vector<DbRow> rows = hub.db.query(
      "SELECT r.id, r.used_at, r.created_at, g.id, g.revoked_at, g.client_id, g.user_id, g.scope"
      " FROM refresh_tokens r JOIN oauth_grants g ON g.id = r.grant_id WHERE r.token_hash = $1",
      {sha256_digest_hex(refresh_token)});
  if (rows.empty() || rows[0].text(5) != client_id || !rows[0].is_null(4)) {
    return oauth_error("invalid_grant");
  }
  const DbRow& row = rows[0];
  const int64_t now = unix_now();
  if (row.integer(2) + k_refresh_lifetime <= now) return oauth_error("invalid_grant");
  const bool claimed =
      row.is_null(1) &&
      hub.db.exec("UPDATE refresh_tokens SET used_at = $2 WHERE id = $1 AND used_at IS NULL",
                  {row.integer(0), now}) == 1;
  if (!claimed) {
    revoke_grant(hub.db, row.integer(3));
    return oauth_error("invalid_grant");
  }
  return token_reply(hub, issue_tokens(hub, row.integer(3), row.integer(6)), row.text(7));
}

}  // namespace

Reply serve_device_authorization(const HubContext& hub, const WebRequest& request) {
  std::optional<std::map<std::string, std::string>> form = read_form(request);
  if (!form) return oauth_error("invalid_request");
  const std::string client_id = form_value(*form, "client_id");
  if (!client_name(hub.db, client_id)) return oauth_error("invalid_client", 401);
  const std::string scope = form_value(*form, "scope");
  if (!is_valid_scope(scope)) return oauth_error("invalid_scope");

  const std::string device_code = random_hex(32);
  const std::string user_code =
      format_user_code(insert_device_code(hub, device_code, client_id, scope));
  const std::string uri = hub.public_url + "/device";
  return oauth_json(200, {{"device_code", device_code},
                          {"user_code", user_code},
                          {"verification_uri", uri},
                          {"verification_uri_complete", uri + "?user_code=" + user_code},
                          {"expires_in", hub.auth.device_expires},
                          {"interval", hub.auth.device_interval}});
}

Reply serve_token(const HubContext& hub, const WebRequest& request) {
  std::optional<std::map<std::string, std::string>> form = read_form(request);
  if (!form) return oauth_error("invalid_request");
  const std::string grant_type = form_value(*form, "grant_type");
  const std::string client_id = form_value(*form, "client_id");
  if (!client_name(hub.db, client_id)) return oauth_error("invalid_client", 401);
  Reply reply;
  if (grant_type == k_device_grant) {
    const std::string device_code = form_value(*form, "device_code");
    if (device_code.empty()) return oauth_error("invalid_request");
    hub.db.transaction([&] { reply = poll_device_code(hub, device_code, client_id); });
  } else if (grant_type == "refresh_token") {
    const std::string refresh_token = form_value(*form, "refresh_token");
    if (refresh_token.empty()) return oauth_error("invalid_request");
    hub.db.transaction([&] { reply = refresh(hub, refresh_token, client_id); });
  } else {
    return oauth_error("unsupported_grant_type");
  }
  return reply;
}

std::optional<std::string> normalize_user_code(std::string_view typed) {
  std::string code;
  for (char c : typed) {
    if (c == ' ' || c == '\t') continue;
    if (c == '-' && code.size() == k_user_code_size / 2) continue;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (k_user_code_letters.find(c) == std::string_view::npos) return std::nullopt;
    code += c;
  }
  if (code.size() != k_user_code_size) return std::nullopt;
  return code;
}

std::string format_user_code(std::string_view code) {
  return std::string(code.substr(0, k_user_code_size / 2)) + "-" +
         std::string(code.substr(k_user_code_size / 2));
}

DeviceLookup find_pending_device(Db& db, std::string_view user_code, PendingDevice& found) {
  std::vector<DbRow> rows = db.query(
      "SELECT d.id, d.client_id, c.name, d.scope, d.expires_at FROM device_codes d"
      " JOIN oauth_clients c ON c.client_id = d.client_id"
      " WHERE d.user_code = $1 AND d.status = 'pending'",
      {std::string(user_code)});
  if (rows.empty()) return DeviceLookup::unknown;
  if (rows[0].integer(4) <= unix_now()) return DeviceLookup::expired;
  found = {rows[0].integer(0), std::string(user_code), rows[0].text(1), rows[0].text(2),
           rows[0].text(3)};
  return DeviceLookup::pending;
}

bool decide_device(Db& db, int64_t device_id, const User& user, DeviceDecision decision) {
  return db.exec(
             "UPDATE device_codes SET status = $3, user_id = $4"
             " WHERE id = $1 AND status = 'pending' AND expires_at > $2",
             {device_id, unix_now(),
              std::string(decision == DeviceDecision::approve ? "approved" : "denied"), user.id}) ==
         1;
}
