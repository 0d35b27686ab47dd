#pragma once

#include <optional>
#include <string>

#include "cli/console.h"
#include "cli/parsed.h"

// orrery login [token]: without an argument the OAuth device flow against
// the hub, with one the bare token stored as it is; then the SSH key is
// registered. orrery logout: deletes the stored credentials.
int cmd_login(const Args& args);
int cmd_logout(const Args& args);

struct LoginOptions {
  std::optional<std::string> token;  // nothing: the device flow
};

// The options of cmd_login's arguments: more than one asks for the help of
// login, a token holding a control byte is refused. Prints nothing.
Parsed<LoginOptions> parse_login_args(const Args& args);

// The device flow: asks for a code, shows it, opens the browser and polls
// the token endpoint until approval, refusal or the code's deadline. Saves
// the tokens only after approval. Returns the exit code.
int device_login();

// Starts xdg-open on an http(s) URL when a graphical session is there
// (DISPLAY or WAYLAND_DISPLAY), without a shell and without waiting; its
// output goes to /dev/null. Anything else does nothing.
void open_browser(const std::string& url);
