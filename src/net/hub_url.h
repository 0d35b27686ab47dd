#pragma once

#include <string>
#include <string_view>

// The hub's base URL: ORRERY_HUB_URL when set and not empty, else the
// configured default; trailing "/" removed. Read afresh at every call.
std::string hub_base_url();

// The REST prefix: ORRERY_HUB_API_URL when set and not empty (trailing "/"
// removed), else hub_base_url() + "/api/v1".
std::string hub_api_base_url();

// The host part of a URL: between "://" and the next "/", ":" or the end,
// after any user information.
std::string url_host(const std::string& url);

// The variable's value, or nothing when it is unset or empty.
const char* non_empty_env(const char* name);
