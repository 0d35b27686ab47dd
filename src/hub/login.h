#pragma once

#include <functional>
#include <optional>
#include <string>

#include "cli/console.h"
#include "cli/parsed.h"
#include "hub/ssh_key.h"

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

// What the device flow shows while it waits for approval.
struct DevicePrompt {
  std::string user_code;  // as the hub sent it
  std::string verification_uri;
  bool code_filled_in = false;  // the browser opens a page that already holds the code
};

struct LoginResult {
  bool device_flow = false;
  // The device flow's lines for standard error when it saved nothing: the
  // hub refused, failed or did not answer in time.
  std::string refusal;
  SshKeyResult ssh_key;
};

// Saves the given token, or runs the device flow: asks for a code, hands it
// to `prompt`, opens the browser and polls the token endpoint until
// approval, refusal or the code's deadline, saving the tokens only after
// approval. Then registers the SSH key. Prints nothing.
LoginResult do_login(const LoginOptions& opts,
                     const std::function<void(const DevicePrompt&)>& prompt);

// The code and where to enter it, on standard output.
void print_device_prompt(const DevicePrompt& prompt);

// The refusal, or the key's line and the saved token's; answers the exit
// code.
int print_login(const LoginResult& result);

// Deletes the stored credentials.
void do_logout();
void print_logout();

// Starts xdg-open on an http(s) URL when a graphical session is there
// (DISPLAY or WAYLAND_DISPLAY), without a shell and without waiting; its
// output goes to /dev/null. Anything else does nothing.
void open_browser(const std::string& url);
