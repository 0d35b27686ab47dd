#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "hubd/access.h"
#include "hubd/accounts.h"
#include "hubd/sync_path.h"
#include "hubd/web.h"
#include "store/object.h"

// The parts of a sync request the hub looks at before its body.
struct SyncRequestHead {
  std::string method;
  std::string target;  // raw, as on the request line
  std::string authorization;
  std::string protocol;                     // X-Orrery-Protocol
  std::optional<std::string> expected_old;  // X-Orrery-Expected-Old
};

// A sync request that passed every check that needs no body.
struct SyncCall {
  std::string method;
  SyncTarget target;
  std::optional<User> caller;
  std::optional<RepoRecord> repo;  // nothing while it is absent_but_creatable
  Verdict verdict = Verdict::allow;
  std::optional<ObjectId> expected_old;
};

// Checks form, protocol, path, names and access, in that order; the call
// to go on with, or the reply that refuses it. Touches no repository.
std::variant<SyncCall, Reply> admit_sync_request(const HubContext& hub,
                                                 const SyncRequestHead& head);

// Answers an admitted call; `body` is the whole request body, already capped.
// Throws what the store throws on a failing disk.
Reply serve_sync_call(const HubContext& hub, const SyncCall& call, std::string_view body);
