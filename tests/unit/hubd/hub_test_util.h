#pragma once

// Builds sync-protocol payloads for tests of the hub: stored objects, small
// histories, transfer streams, and raw HTTP requests to a HubProcess.

#include <algorithm>
#include <string>
#include <vector>

#include "store/codec.h"
#include "store/object.h"
#include "support/hub_process.h"

namespace testing_support {

struct StoredObject {
  std::string id;
  std::string stored;  // the zlib stream of the canonical bytes
};

inline StoredObject make_object(const std::string& type, const std::string& content) {
  return {object_hash(type, content), compress_object(type, content)};
}

// A linear history: commit i has one file "f.txt" holding "v<i>" and the
// previous commit as parent (after `base` for the first, when given).
struct History {
  std::vector<StoredObject> objects;  // blobs, trees and commits
  std::vector<std::string> commits;   // oldest first
};

inline History make_history(int count, const std::string& base = "", const std::string& tag = "") {
  History history;
  std::string parent = base;
  for (int i = 0; i < count; ++i) {
    StoredObject blob = make_object("blob", tag + "v" + std::to_string(i));
    StoredObject tree = make_object("tree", serialize_tree({{"100644", "blob", blob.id, "f.txt"}}));
    Commit commit{tree.id, {}, "tester", "c" + std::to_string(i), 1700000000u + i};
    if (!parent.empty()) commit.parents.push_back(parent);
    StoredObject made = make_object("commit", serialize_commit(commit));
    history.objects.insert(history.objects.end(), {blob, tree, made});
    history.commits.push_back(made.id);
    parent = made.id;
  }
  return history;
}

// The objects in ascending id order, as the client sends them and the hub
// answers.
inline std::string transfer_stream(std::vector<StoredObject> objects) {
  std::sort(objects.begin(), objects.end(), [](auto& x, auto& y) { return x.id < y.id; });
  std::string stream;
  for (const StoredObject& object : objects) {
    stream += "F " + object.id + " " + std::to_string(object.stored.size()) + " " +
              std::to_string(zlib_decompress(object.stored).size()) + "\n" + object.stored;
  }
  return stream;
}

struct HubReply {
  int status = 0;
  std::string body;
};

// One request on its own connection, with X-Orrery-Protocol: 1, the token
// (when given) and the extra header lines.
inline HubReply hub_call(const HubProcess& hub, const std::string& method, const std::string& path,
                         const std::string& token = "", const std::string& body = "",
                         const std::vector<std::string>& headers = {}) {
  std::string request = method + " " + path + " HTTP/1.1\r\nHost: t\r\nConnection: close\r\n" +
                        "X-Orrery-Protocol: 1\r\n";
  if (!token.empty()) request += "Authorization: Bearer " + token + "\r\n";
  for (const std::string& header : headers) request += header + "\r\n";
  if (method != "GET") request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  std::string response = raw_http_exchange(hub.port(), request + "\r\n" + body);
  size_t end = response.find("\r\n\r\n");
  return {http_status_of(response), end == std::string::npos ? "" : response.substr(end + 4)};
}

inline std::string want_have(const std::vector<std::string>& want,
                             const std::vector<std::string>& have = {}) {
  auto list = [](const std::vector<std::string>& ids) {
    std::string out;
    for (const std::string& id : ids) out += (out.empty() ? "\"" : ",\"") + id + "\"";
    return "[" + out + "]";
  };
  return "{\"have\":" + list(have) + ",\"proto\":1,\"want\":" + list(want) + "}";
}

}  // namespace testing_support
