#pragma once

#include "hubd/web.h"

// The REST API under /api/v1, for bearer tokens: personal access tokens and
// the access tokens of device logins act alike, with their user's rights.
Reply serve_api(const HubContext& hub, const WebRequest& request);
