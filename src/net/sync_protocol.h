#pragma once

#include <set>
#include <string>
#include <string_view>

#include "net/http_client.h"
#include "store/object.h"

struct Repository;

// The client side of the sync protocol shared by fetch and push.

// The remote URL with one "/" appended unless it ends in one; request paths
// ("refs/main", "objects/<id>", ...) are appended to it as they are.
std::string sync_base_url(std::string_view remote_url);

// True for an http or https URL that does not name the loopback host.
bool needs_hub_auth(std::string_view remote_url);

// "Authorization: Bearer <token>" (only for a non-empty token) and
// "X-Orrery-Protocol: 1".
HttpHeaders sync_headers(const std::string& token);

// Adds the commit and every commit, tree and blob below it to `out`. Objects
// missing locally are added but not followed; blobs are known from their
// tree entries and never read, and an object read as a commit or tree that
// turns out to be something else is inflated only up to its header.
void collect_reachable(const Repository& repo, const ObjectId& commit, std::set<ObjectId>& out);

// The want/have document: {"have":[...],"proto":1,"want":[...]}.
std::string want_have_document(const std::set<ObjectId>& want, const std::set<ObjectId>& have);

// The ids of a negotiate answer's "missing" array that are 64 lower-case
// hexadecimal digits; empty for anything that does not parse as such.
std::set<ObjectId> parse_missing_list(std::string_view body);

// POST packs: the pack bytes of the answer, empty when the exchange failed.
std::string request_pack(HttpClient& client, std::string_view remote_url,
                         const std::set<ObjectId>& want, const std::set<ObjectId>& have,
                         const HttpHeaders& headers);

// POST negotiate: the ids the server says it lacks, empty when the exchange
// failed or its answer did not parse.
std::set<ObjectId> negotiate_missing(HttpClient& client, std::string_view remote_url,
                                     const std::set<ObjectId>& want, const std::set<ObjectId>& have,
                                     const HttpHeaders& headers);

// Whether an exchange failed: a transport error or a status of 400 or more.
bool is_failed_exchange(const HttpResponse& response);
