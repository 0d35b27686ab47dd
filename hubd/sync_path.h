#pragma once

#include <optional>
#include <string>
#include <string_view>

// The sync endpoints, relative to a repository's base URL
// "/.orrery/<owner>/<name>.orrery/".
enum class SyncEndpoint {
  ref,          // refs/<branch>
  pack_query,   // packs (the want/have request)
  branch_pack,  // packs/<branch>
  negotiate,    // negotiate
  object,       // objects/<id>
};

struct SyncTarget {
  std::string owner;
  std::string repo;
  SyncEndpoint endpoint = SyncEndpoint::ref;
  std::string argument;  // the branch or the object id, as sent; unchecked
};

// Splits a request target (the raw path, never decoded: the client does not
// percent-encode, and decoding would let "%2e%2e" turn into "..") into the
// repository and the endpoint. Nothing when the path names no endpoint. The
// names and the argument are not validated here.
std::optional<SyncTarget> parse_sync_target(std::string_view target);

// The branch names the hub stores: what the client's own branch-name check
// accepts, without "?", "#", "%", spaces or control bytes, and short enough
// to be a file name even with a temporary suffix.
bool is_valid_branch_name(std::string_view name);

// 64 lower-case hexadecimal digits, the only spelling of an object id.
bool is_canonical_object_id(std::string_view id);
