#include "hubd/access.h"

namespace {

bool is_owner(const User* caller, int64_t owner_id) {
  return caller != nullptr && caller->id == owner_id;
}

AccessDecision refuse(int status) { return {Verdict::refuse, status}; }

}  // namespace

AccessDecision decide_access(const AccessRequest& request) {
  const bool write = request.need == Need::write;
  if (request.repo == nullptr) {
    if (request.caller != nullptr && request.push_create &&
        name_key(request.caller->name) == name_key(request.owner)) {
      return {Verdict::absent_but_creatable, 0};
    }
    return refuse(write && request.caller == nullptr ? 401 : 404);
  }
  const bool owner = is_owner(request.caller, request.repo->owner_id);
  const bool can_read = owner || !request.repo->is_private;
  if (!write) return can_read ? AccessDecision{Verdict::allow, 0} : refuse(404);
  if (owner) return {Verdict::allow, 0};
  if (request.caller == nullptr) return refuse(401);
  return refuse(can_read ? 403 : 404);
}
