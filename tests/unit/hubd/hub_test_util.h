#pragma once

// Builds sync-protocol payloads for tests of the hub: stored objects, small
// histories, transfer streams, and raw HTTP requests to a HubProcess.

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "hubd/accounts.h"
#include "hubd/branch_heads.h"
#include "hubd/db.h"
#include "store/codec.h"
#include "store/object.h"
#include "store/refs.h"
#include "store/repo.h"
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
    Commit commit{tree.id, {}, "tester", concat("c", i), 1700000000u + i};
    if (!parent.empty()) commit.parents.push_back(parent);
    StoredObject made = make_object("commit", serialize_commit(commit));
    history.objects.insert(history.objects.end(), {blob, tree, made});
    history.commits.push_back(made.id);
    parent = made.id;
  }
  return history;
}

// The objects in ascending id order, each once, as the client sends them
// and the hub answers.
inline std::string transfer_stream(std::vector<StoredObject> objects) {
  std::sort(objects.begin(), objects.end(), [](auto& x, auto& y) { return x.id < y.id; });
  objects.erase(
      std::unique(objects.begin(), objects.end(), [](auto& x, auto& y) { return x.id == y.id; }),
      objects.end());
  std::string stream;
  for (const StoredObject& object : objects) {
    stream += "F " + object.id + " " + std::to_string(object.stored.size()) + " " +
              std::to_string(zlib_decompress(object.stored).size()) + "\n" + object.stored;
  }
  return stream;
}

struct HubReply {
  int status = 0;
  std::string head;  // status line and headers
  std::string body;
  nlohmann::json json() const { return nlohmann::json::parse(body, nullptr, false); }
};

// One request on its own connection, with the given header lines.
inline HubReply web_call(int port, const std::string& method, const std::string& target,
                         const std::vector<std::string>& headers = {},
                         const std::string& body = "") {
  std::string request = method + " " + target + " HTTP/1.1\r\nHost: t\r\nConnection: close\r\n";
  for (const std::string& header : headers) request += header + "\r\n";
  if (method != "GET") request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  std::string response = raw_http_exchange(port, request + "\r\n" + body);
  const size_t end = response.find("\r\n\r\n");
  if (end == std::string::npos) return {http_status_of(response), response, ""};
  return {http_status_of(response), response.substr(0, end), response.substr(end + 4)};
}

// A sync request: X-Orrery-Protocol: 1, the token (when given) and the
// extra header lines.
inline HubReply hub_call(const HubProcess& hub, const std::string& method, const std::string& path,
                         const std::string& token = "", const std::string& body = "",
                         std::vector<std::string> headers = {}) {
  headers.insert(headers.begin(), "X-Orrery-Protocol: 1");
  if (!token.empty()) headers.push_back("Authorization: Bearer " + token);
  return web_call(hub.port(), method, path, headers, body);
}

// One hub for a whole suite: alice, with the public repository alice/public
// and the private alice/secret, and bob.
class SharedHub : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    hub_ = new HubProcess();
    alice_ = hub_->add_user("alice");
    bob_ = hub_->add_user("bob");
    hub_->create_repo("alice/public");
    hub_->create_repo("alice/secret", true);
  }
  static void TearDownTestSuite() { delete hub_; }

  static inline HubProcess* hub_ = nullptr;
  static inline std::string alice_, bob_;
};

// What a hub keeps of its repositories, read the way the hub reads it, in
// its database or its data directory, whichever the backend is.
class HubState {
 public:
  explicit HubState(const HubProcess& hub)
      : db_(hub.db_url().empty() ? open_sqlite_db(hub.data_dir() + "/hub.db")
                                 : open_postgres_db(hub.db_url())),
        context_{*db_, hub.data_dir(), 0, false, {}, {}} {}

  std::optional<std::string> branch(int64_t repo, const std::string& name) const {
    return read_hub_branch(context_, repo, name);
  }
  std::string reflog(int64_t repo) const { return read_hub_reflog(context_, repo); }

  // Every branch with its head.
  std::vector<std::pair<std::string, std::string>> branches(int64_t repo) const {
    if (db_->backend() == DbBackend::sqlite) return list_branches(Repository(root(repo)));
    std::vector<std::pair<std::string, std::string>> out;
    for (const DbRow& row : db_->query("SELECT name, target FROM refs WHERE repo_id = $1", {repo}))
      out.emplace_back(row.text(0), row.text(1));
    return out;
  }
  std::string root(int64_t repo) const { return repo_root(context_.data_dir, repo); }
  int64_t repo_id(const std::string& owner, const std::string& name) const {
    return find_repo(*db_, owner, name).value().id;
  }

 private:
  std::unique_ptr<Db> db_;
  HubContext context_;
};

// Every branch of the repository names a commit whose whole history is in
// its store.
inline void expect_complete_refs(const HubState& state, int64_t repo) {
  Repository stored(state.root(repo));
  for (const auto& [branch, tip] : state.branches(repo)) {
    std::vector<std::string> pending{tip};
    while (!pending.empty()) {
      std::optional<Commit> commit = read_commit(stored.objects, pending.back());
      ASSERT_TRUE(commit) << branch << " names a missing commit " << pending.back();
      pending.pop_back();
      std::optional<Tree> tree = read_tree(stored.objects, commit->tree);
      ASSERT_TRUE(tree) << branch;
      for (const TreeEntry& entry : *tree) EXPECT_TRUE(read_raw_object(stored.objects, entry.hash));
      pending.insert(pending.end(), commit->parents.begin(), commit->parents.end());
    }
  }
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
