#pragma once

#include "hubd/web.h"

// The approval page of the device login, server-rendered HTML that needs no
// script: sign in, type or confirm the code the terminal shows, allow or
// refuse. Every form carries the session's CSRF token; wrong codes and wrong
// passwords are limited per session or account and per peer address.

// GET /device[?user_code=...]
Reply serve_device_page(const HubContext& hub, const WebRequest& request);

// POST /device: the decision on a code (user_code, action=approve|deny).
Reply serve_device_decision(const HubContext& hub, const WebRequest& request);

// POST /login: username and password, then the page of the code carried
// along (user_code), if any.
Reply serve_sign_in(const HubContext& hub, const WebRequest& request);
