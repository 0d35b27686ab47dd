#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The stored hub token: a bare token (saved by `login <token>`) or the record
// of an OAuth login with its refresh token and expiry.
struct Credentials {
  bool plain = false;  // a bare token: never expires, never refreshed
  std::string access_token;
  std::optional<std::string> refresh_token;
  std::optional<int64_t> expires_at;  // Unix seconds
};

// The per-user folder: $XDG_CONFIG_HOME/orrery, else $LOCALAPPDATA/orrery,
// else $HOME/.config/orrery (the first variable set and not empty); nothing
// when none is set.
std::optional<std::string> credentials_dir();

// credentials_dir() + "/credentials", or ".orrery_credentials" in the current
// directory without a folder.
std::string credentials_path();

// Nothing when the file is missing, empty or not a valid record; never throws
// for its content.
std::optional<Credentials> load_credentials();

// Replace the file atomically with mode 0600 (its folder created 0700).
// Throw std::runtime_error for a token holding a control byte, which is
// never saved, and for file-system failures.
void save_plain_token(const std::string& token);
void save_oauth_tokens(const std::string& access_token,
                       const std::optional<std::string>& refresh_token,
                       std::optional<int64_t> expires_at);

// Removes the file; a missing file or a failure is ignored.
void delete_credentials();

// The token every authorised request uses: ORRERY_TOKEN when set (even empty,
// which means none), else the file's, refreshed when it expires within two
// minutes. Nothing when there is none or it holds a control byte.
std::optional<std::string> current_token();

// Renews the stored OAuth token with its refresh token; false, changing
// nothing, when there is none or the token endpoint refuses. Prints nothing.
bool refresh_access_token();

// ORRERY_OAUTH_CLIENT_ID or "orrery-cli"; ORRERY_OAUTH_TOKEN_URL or the
// hub's "/oauth/token".
std::string oauth_client_id();
std::string oauth_token_url();

// An OAuth token endpoint's successful answer.
struct TokenResponse {
  std::string access_token;
  std::optional<std::string> refresh_token;
  int64_t expires_in = 0;  // seconds; 0 when the answer gives none
};

// Nothing for a body that is not a JSON object, carries "error", or lacks a
// string "access_token".
std::optional<TokenResponse> parse_token_response(std::string_view body);
