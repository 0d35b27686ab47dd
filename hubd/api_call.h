#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hubd/accounts.h"
#include "hubd/web.h"

// What the REST handlers share: the authenticated call and the JSON
// answers. Errors are {"message": ...} with a Russian text, as the client
// shows them to its user.

struct ApiCall {
  const HubContext& hub;
  const WebRequest& request;
  const User& user;
  std::vector<std::string> segments;  // the path after /api/v1/, split at "/"
};

// A JSON text as the reply.
Reply api_json(int status, std::string json_text);

// {"message": message}
Reply api_error(int status, std::string_view message);

Reply method_not_allowed();

// True when the user may read the repository: its owner, or anyone when it
// is public.
bool can_read(const User& user, const RepoRecord& repo);

// The number a path segment or query value spells (1 to 2^53); nothing
// otherwise.
std::optional<int64_t> parse_id(std::string_view text);
