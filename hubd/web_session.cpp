#include "hubd/web_session.h"

#include "hubd/crypto.h"
#include "hubd/db.h"

namespace {

constexpr std::string_view k_cookie = "orrery_session";
constexpr int64_t k_anonymous_lifetime = 3600;
constexpr int64_t k_signed_in_lifetime = 12 * 3600;

std::string cookie_header(const HubContext& hub, const std::string& id, int64_t lifetime) {
  const bool secure = hub.public_url.rfind("https://", 0) == 0;
  return std::string(k_cookie) + "=" + id + "; Path=/; Max-Age=" + std::to_string(lifetime) +
         "; HttpOnly; SameSite=Lax" + (secure ? "; Secure" : "");
}

WebSession start_session(const HubContext& hub, const std::optional<User>& user) {
  const int64_t now = unix_now();
  const int64_t lifetime = user ? k_signed_in_lifetime : k_anonymous_lifetime;
  hub.db.exec("DELETE FROM web_sessions WHERE expires_at <= $1", {now});
  const std::string id = random_hex(32);
  WebSession session{0, random_hex(32), user, cookie_header(hub, id, lifetime)};
  std::vector<DbRow> rows = hub.db.query(
      "INSERT INTO web_sessions (session_hash, user_id, csrf_token, created_at, expires_at)"
      " VALUES ($1, $2, $3, $4, $5) RETURNING id",
      {sha256_digest_hex(id), user ? DbValue(user->id) : DbValue(), session.csrf_token, now,
       now + lifetime});
  session.id = rows.at(0).integer(0);
  return session;
}

}  // namespace

WebSession open_session(const HubContext& hub, const WebRequest& request) {
  const std::string id = cookie_value(request.cookie, k_cookie);
  if (!id.empty()) {
    std::vector<DbRow> rows = hub.db.query(
        "SELECT s.id, s.csrf_token, u.id, u.name FROM web_sessions s"
        " LEFT JOIN users u ON u.id = s.user_id WHERE s.session_hash = $1 AND s.expires_at > $2",
        {sha256_digest_hex(id), unix_now()});
    if (!rows.empty()) {
      WebSession session{rows[0].integer(0), rows[0].text(1), std::nullopt, ""};
      if (!rows[0].is_null(2)) session.user = User{rows[0].integer(2), rows[0].text(3)};
      return session;
    }
  }
  return start_session(hub, std::nullopt);
}

WebSession sign_in(const HubContext& hub, const WebSession& old, const User& user) {
  hub.db.exec("DELETE FROM web_sessions WHERE id = $1", {old.id});
  return start_session(hub, user);
}

bool csrf_matches(const WebSession& session, std::string_view presented) {
  return !presented.empty() && secrets_equal(session.csrf_token, presented);
}

int64_t seconds_limited(Db& db, const std::vector<std::string>& buckets) {
  const int64_t now = unix_now();
  int64_t longest = 0;
  for (const std::string& bucket : buckets) {
    std::vector<DbRow> rows = db.query(
        "SELECT window_start FROM attempt_limits"
        " WHERE bucket = $1 AND failures >= $2 AND window_start + $3 > $4",
        {bucket, int64_t{k_attempt_limit}, k_attempt_window, now});
    if (!rows.empty()) longest = std::max(longest, rows[0].integer(0) + k_attempt_window - now);
  }
  return longest;
}

void record_failed_attempt(Db& db, const std::vector<std::string>& buckets) {
  const int64_t now = unix_now();
  db.exec("DELETE FROM attempt_limits WHERE window_start + $1 <= $2", {k_attempt_window, now});
  for (const std::string& bucket : buckets) {
    db.exec(
        "INSERT INTO attempt_limits (bucket, window_start, failures) VALUES ($1, $2, 1)"
        " ON CONFLICT (bucket) DO UPDATE SET"
        " failures = CASE WHEN attempt_limits.window_start + $3 <= $2 THEN 1"
        " ELSE attempt_limits.failures + 1 END,"
        " window_start = CASE WHEN attempt_limits.window_start + $3 <= $2 THEN $2"
        " ELSE attempt_limits.window_start END",
        {bucket, now, k_attempt_window});
  }
}
