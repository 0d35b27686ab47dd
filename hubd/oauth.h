#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "hubd/accounts.h"
#include "hubd/web.h"

// OAuth 2.0 device authorisation and the token endpoint: a client asks for
// a device code, the user approves its user code in a browser (or an admin
// on the command line), and the client's polls of the token endpoint then
// yield an access token and a refresh token. Every state lives in the
// database, so any hub process can answer any step.

// POST /oauth/device: client_id and an optional scope, form-encoded.
Reply serve_device_authorization(const HubContext& hub, const WebRequest& request);

// POST /oauth/token: the device-code grant and the refresh grant.
Reply serve_token(const HubContext& hub, const WebRequest& request);

// The eight letters of a user code as a person may type it (any letter
// case, with or without the dash, spaces around); nothing for anything else.
std::optional<std::string> normalize_user_code(std::string_view typed);

// "XXXX-XXXX", the form the hub shows.
std::string format_user_code(std::string_view code);

// A device code waiting for its user's decision.
struct PendingDevice {
  int64_t id = 0;
  std::string user_code;  // normalized
  std::string client_id;
  std::string client_name;
  std::string scope;
};

enum class DeviceLookup { pending, unknown, expired };

// The pending, unexpired device code a normalized user code names. A code
// already decided or consumed reads as unknown.
DeviceLookup find_pending_device(Db& db, std::string_view user_code, PendingDevice& found);

enum class DeviceDecision { approve, deny };

// Records the user's decision; false when the code expired or was decided
// meanwhile.
bool decide_device(Db& db, int64_t device_id, const User& user, DeviceDecision decision);
