#pragma once

#include <optional>
#include <string_view>

#include "hubd/accounts.h"

enum class Need { read, write };

enum class Verdict {
  allow,
  refuse,
  // The repository does not exist yet, but the caller owns its name and may
  // create it by pushing: reads answer as an empty repository would, and
  // the first accepted write records it.
  absent_but_creatable,
};

struct AccessDecision {
  Verdict verdict = Verdict::refuse;
  int status = 404;  // the answer when refused
};

struct AccessRequest {
  const RepoRecord* repo = nullptr;  // nothing when the name is not recorded
  const User* caller = nullptr;      // nothing without a valid token
  std::string_view owner;            // the owner named in the URL
  Need need = Need::read;
  bool push_create = true;
};

// Who may do what: anyone reads a public repository, its owner reads and
// writes it. Refusals never tell an outsider that a private repository
// exists: 404 where reading is not allowed, except that a write without a
// valid token is always 401; 403 for a write by a reader who is not the
// owner.
AccessDecision decide_access(const AccessRequest& request);
