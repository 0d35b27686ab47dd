#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hubd/accounts.h"
#include "hubd/web.h"

// Browser sessions of the hub's pages and the limits on guessing through
// them. A session is a random id in an HttpOnly, SameSite=Lax cookie (Secure
// when the hub is reached over https), stored as its SHA-256 with the CSRF
// token every form of that session must carry. A visitor gets an anonymous
// session on the first page, so the sign-in form is protected too; signing
// in replaces it by a new one, so an id planted before is worth nothing.

struct WebSession {
  int64_t id = 0;
  std::string csrf_token;
  std::optional<User> user;
  std::string set_cookie;  // a Set-Cookie value the reply must carry, or empty
};

// The live session the request's cookie names, or a new anonymous one.
WebSession open_session(const HubContext& hub, const WebRequest& request);

// Ends `old` and starts a signed-in session for the user.
WebSession sign_in(const HubContext& hub, const WebSession& old, const User& user);

bool csrf_matches(const WebSession& session, std::string_view presented);

// Failed attempts (wrong user codes, wrong passwords), counted per bucket
// (for example "peer:<address>") in a window that opens with the first
// failure: after k_attempt_limit failures the bucket is closed until the
// window ends.
constexpr int k_attempt_limit = 5;
constexpr int64_t k_attempt_window = 600;

// Seconds until every given bucket is open again; 0 when none is closed.
int64_t seconds_limited(Db& db, const std::vector<std::string>& buckets);

void record_failed_attempt(Db& db, const std::vector<std::string>& buckets);
