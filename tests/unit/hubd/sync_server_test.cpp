// orrery-hub as a child process, driven over raw HTTP: the sync endpoints,
// who may use them, what an upload must be to be kept, and a crash in the
// middle of an upload.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <thread>

#include "hub_test_util.h"
#include "store/refs.h"
#include "store/repo.h"

namespace testing_support {
namespace {

std::string base(const std::string& owner, const std::string& repo) {
  return "/.orrery/" + owner + "/" + repo + ".orrery/";
}

// Every branch of the repository on disk names a commit whose whole history
// is there.
void expect_complete_refs(const std::string& root) {
  Repository repo(root);
  for (const auto& [branch, tip] : list_branches(repo)) {
    std::vector<std::string> pending{tip};
    while (!pending.empty()) {
      std::optional<Commit> commit = read_commit(repo.objects, pending.back());
      ASSERT_TRUE(commit) << branch << " names a missing commit " << pending.back();
      pending.pop_back();
      std::optional<Tree> tree = read_tree(repo.objects, commit->tree);
      ASSERT_TRUE(tree) << branch;
      for (const TreeEntry& entry : *tree) EXPECT_TRUE(read_raw_object(repo.objects, entry.hash));
      pending.insert(pending.end(), commit->parents.begin(), commit->parents.end());
    }
  }
}

class HubSync : public SharedHub {};

TEST_F(HubSync, PushCreatesAPrivateRepositoryThatServesEveryRead) {
  const std::string b = base("alice", "flow");
  History history = make_history(2);
  const std::string tip = history.commits.back();
  const std::string first_blob = history.objects[0].id;

  HubReply negotiated = hub_call(*hub_, "POST", b + "negotiate", alice_, want_have({tip}));
  EXPECT_EQ(negotiated.status, 200);
  EXPECT_EQ(negotiated.body, "{\"missing\":[\"" + tip + "\"]}");
  EXPECT_EQ(hub_call(*hub_, "GET", b + "refs/main", alice_).status, 404);
  EXPECT_EQ(
      hub_call(*hub_, "POST", b + "packs/main", alice_, transfer_stream(history.objects)).status,
      200);
  EXPECT_EQ(hub_call(*hub_, "POST", b + "negotiate", alice_, want_have({tip, first_blob})).body,
            "{\"missing\":[]}");
  EXPECT_EQ(hub_call(*hub_, "PUT", b + "refs/main", alice_, tip).status, 200);

  EXPECT_EQ(hub_call(*hub_, "GET", b + "refs/main", alice_).body, tip + "\n");
  EXPECT_EQ(hub_call(*hub_, "GET", b + "objects/" + first_blob, alice_).body,
            history.objects[0].stored);
  EXPECT_EQ(hub_call(*hub_, "GET", b + "packs/main", alice_).body,
            transfer_stream(history.objects));
  // Asking with the first commit's objects in hand gets only the second's.
  const auto& o = history.objects;
  EXPECT_EQ(
      hub_call(*hub_, "POST", b + "packs", alice_, want_have({tip}, {o[0].id, o[1].id, o[2].id}))
          .body,
      transfer_stream({o.begin() + 3, o.end()}));

  // Private by default: nobody else learns it exists.
  EXPECT_EQ(hub_call(*hub_, "GET", b + "refs/main").status, 404);
  EXPECT_EQ(hub_call(*hub_, "GET", b + "refs/main", bob_).status, 404);
  RunResult listed = hub_->admin({"repo", "list"});
  EXPECT_NE(listed.out.find("alice/flow\tприватный\n"), std::string::npos) << listed.out;
  EXPECT_EQ(read_text(hub_->log_path()).find(alice_), std::string::npos) << "token in the log";
}

// The answer of each caller to a read (negotiate) and a write (one object)
// of each kind of repository.
TEST_F(HubSync, AnswersEachCallerByAccess) {
  const StoredObject blob = make_object("blob", "access");
  const std::string nobody, unknown = "orrery_pat_unknown";
  struct Case {
    std::string repo;
    const std::string* token;
    bool write;
    int status;
  } cases[] = {
      {"alice/public", &nobody, false, 200}, {"alice/public", &unknown, false, 200},
      {"alice/public", &nobody, true, 401},  {"alice/public", &unknown, true, 401},
      {"alice/public", &bob_, true, 403},    {"alice/public", &alice_, true, 200},
      {"alice/secret", &nobody, false, 404}, {"alice/secret", &bob_, false, 404},
      {"alice/secret", &bob_, true, 404},    {"alice/secret", &nobody, true, 401},
      {"alice/secret", &alice_, false, 200}, {"alice/secret", &alice_, true, 200},
      {"bob/absent", &alice_, true, 404},    {"bob/absent", &nobody, true, 401},
      {"bob/absent", &alice_, false, 404},   {"alice/absent", &bob_, false, 404},
      {"alice/absent", &alice_, false, 200},
  };
  for (const Case& c : cases) {
    const size_t slash = c.repo.find('/');
    const std::string b = base(c.repo.substr(0, slash), c.repo.substr(slash + 1));
    HubReply reply = c.write
                         ? hub_call(*hub_, "PUT", b + "objects/" + blob.id, *c.token, blob.stored)
                         : hub_call(*hub_, "POST", b + "negotiate", *c.token, want_have({}));
    EXPECT_EQ(reply.status, c.status) << c.repo << (c.write ? " write" : " read") << " as "
                                      << (c.token->empty() ? "nobody" : *c.token);
  }
  EXPECT_EQ(hub_->admin({"repo", "list"}).out.find("alice/absent"), std::string::npos);
}

TEST_F(HubSync, RefusesHostileUploadsAndKeepsNothingOfThem) {
  const std::string b = base("alice", "hostile");
  const StoredObject good = make_object("blob", "good");
  const StoredObject orphan_blob = make_object("blob", "never sent");
  const StoredObject dangling_tree =
      make_object("tree", serialize_tree({{"100644", "blob", orphan_blob.id, "x"}}));
  std::string truncated = good.stored.substr(0, good.stored.size() - 3);
  std::string upper_id = good.id;
  for (char& c : upper_id) c = static_cast<char>(std::toupper(c));
  const std::string bad_record = "F " + good.id + " 999 4\n" + good.stored;

  struct Case {
    const char* what;
    std::string method, path, body;
    std::vector<std::string> headers;
    int status;
  } cases[] = {
      {"wrong hash", "PUT", "objects/" + orphan_blob.id, good.stored, {}, 400},
      {"truncated zlib", "PUT", "objects/" + good.id, truncated, {}, 400},
      {"non-hex id", "PUT", "objects/" + upper_id, good.stored, {}, 400},
      {"pack with a bad record",
       "POST",
       "packs/main",
       transfer_stream({good}) + bad_record,
       {},
       400},
      {"pack naming a missing blob",
       "POST",
       "packs/main",
       transfer_stream({dangling_tree}),
       {},
       422},
      {"dot-dot in a branch", "PUT", "refs/a/../b", std::string(64, 'a'), {}, 400},
      {"chunked body", "POST", "negotiate", "", {"Transfer-Encoding: chunked"}, 411},
      {"query string", "GET", "refs/main?x=1", "", {}, 400},
      {"commit not on the hub", "PUT", "refs/main", make_history(1).commits[0], {}, 422},
      {"expected old of a bad form",
       "PUT",
       "refs/main",
       good.id,
       {"X-Orrery-Expected-Old: zz"},
       400},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(hub_call(*hub_, c.method, b + c.path, alice_, c.body, c.headers).status, c.status)
        << c.what;
  }
  EXPECT_EQ(hub_call(*hub_, "POST", b + "negotiate", alice_, want_have({good.id})).body,
            "{\"missing\":[\"" + good.id + "\"]}")
      << "a refused pack stored its good record";

  // One object at a time, in id order, an object may wait for what it names.
  EXPECT_EQ(hub_call(*hub_, "PUT", b + "objects/" + dangling_tree.id, alice_, dangling_tree.stored)
                .status,
            200);
  std::string no_protocol = raw_http_exchange(
      hub_->port(), "GET " + b + "refs/main HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(http_status_of(no_protocol), 400);
}

TEST_F(HubSync, GuardsBranchUpdatesWithTheExpectedOldValue) {
  const std::string b = base("alice", "guarded");
  History history = make_history(3);
  ASSERT_EQ(
      hub_call(*hub_, "POST", b + "packs/main", alice_, transfer_stream(history.objects)).status,
      200);
  const auto& c = history.commits;
  auto put = [&](const std::string& branch, const std::string& id, const std::string& expected) {
    std::vector<std::string> headers;
    if (!expected.empty()) headers.push_back("X-Orrery-Expected-Old: " + expected);
    return hub_call(*hub_, "PUT", b + "refs/" + branch, alice_, id, headers).status;
  };
  EXPECT_EQ(put("main", c[0], c[1]), 412) << "absent branch";
  EXPECT_EQ(put("main", c[0], ""), 200);
  EXPECT_EQ(put("main", c[1], c[2]), 412);
  EXPECT_EQ(put("main", c[1], c[0]), 200);
  EXPECT_EQ(put("topic/x", c[2], ""), 200);
  EXPECT_EQ(put("topic", c[2], ""), 409) << "topic/x blocks topic";
  EXPECT_EQ(hub_call(*hub_, "GET", b + "refs/main", alice_).body, c[1] + "\n");

  const std::string zero(64, '0');
  std::string reflog;
  for (const auto& entry : std::filesystem::directory_iterator(hub_->data_dir() + "/repos")) {
    const std::string log = entry.path().string() + "/.orrery/logs/HEAD";
    if (path_exists(log) && read_text(log).find(c[2]) != std::string::npos) reflog = read_text(log);
  }
  EXPECT_EQ(reflog, zero + " " + c[0] + "\tобновление: main\n" + c[0] + " " + c[1] +
                        "\tобновление: main\n" + zero + " " + c[2] +
                        "\tобновление: refs/heads/topic/x\n");
}

TEST_F(HubSync, AnswersExpectContinueOnlyWhenTheUploadMayProceed) {
  const StoredObject blob = make_object("blob", "expect");
  const std::string head = "PUT " + base("alice", "public") + "objects/" + blob.id +
                           " HTTP/1.1\r\nHost: t\r\nX-Orrery-Protocol: 1\r\n"
                           "Expect: 100-continue\r\nContent-Length: " +
                           std::to_string(blob.stored.size()) + "\r\n";
  std::string refused = raw_http_exchange(hub_->port(), head + "\r\n", 200);
  EXPECT_EQ(http_status_of(refused), 401) << refused;
  std::string interim =
      raw_http_exchange(hub_->port(), head + "Authorization: Bearer " + alice_ + "\r\n\r\n", 200);
  EXPECT_EQ(interim.substr(0, 25), "HTTP/1.1 100 Continue\r\n\r\n");
}

TEST(HubServer, KeepsEveryRefCompleteWhenKilledDuringAPackUpload) {
  HubProcess hub({"--max-body", "64M"});
  const std::string token = hub.add_user("carol");
  const std::string b = base("carol", "crash");
  History history = make_history(1);
  ASSERT_EQ(hub_call(hub, "POST", b + "packs/main", token, transfer_stream(history.objects)).status,
            200);
  ASSERT_EQ(hub_call(hub, "PUT", b + "refs/main", token, history.commits[0]).status, 200);

  // A large pack: every record is sent, and the server dies while it reads,
  // checks or stores them.
  History big = make_history(400, history.commits[0], "big");
  std::string stream = transfer_stream(big.objects);
  std::thread upload([&] {
    raw_http_exchange(hub.port(),
                      "POST " + b +
                          "packs/main HTTP/1.1\r\nHost: t\r\nX-Orrery-Protocol: 1\r\n"
                          "Authorization: Bearer " +
                          token + "\r\nContent-Length: " + std::to_string(stream.size()) +
                          "\r\n\r\n" + stream,
                      3000);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  hub.kill_hard();
  upload.join();
  // A store write cut short leaves its lock directory behind.
  const std::string root = hub.data_dir() + "/repos/1.orrery";
  std::filesystem::create_directory(root + "/.orrery/lock");
  hub.restart();

  expect_complete_refs(root);
  EXPECT_EQ(hub_call(hub, "GET", b + "refs/main", token).body, history.commits[0] + "\n");
  std::string stored = raw_http_exchange(
      hub.port(),
      "POST " + b + "packs/main HTTP/1.1\r\nHost: t\r\nX-Orrery-Protocol: 1\r\n" +
          "Connection: close\r\nAuthorization: Bearer " + token +
          "\r\nContent-Length: " + std::to_string(stream.size()) + "\r\n\r\n" + stream,
      20000);
  ASSERT_EQ(http_status_of(stored), 200) << stored;
  EXPECT_EQ(hub_call(hub, "PUT", b + "refs/main", token, big.commits.back(),
                     {"X-Orrery-Expected-Old: " + history.commits[0]})
                .status,
            200);
  expect_complete_refs(root);
  EXPECT_EQ(hub.stop(), 0);
  EXPECT_TRUE(std::regex_match(read_text(hub.data_dir() + "/../port"), std::regex("[0-9]+\n")));
}

TEST(HubServer, RefusesBodiesOverTheCapAndPushCreateWhenOff) {
  HubProcess hub({"--max-body", "1K", "--no-push-create"});
  const std::string token = hub.add_user("dave");
  hub.create_repo("dave/small");
  const StoredObject blob = make_object("blob", std::string(4096, 'x'));
  EXPECT_EQ(hub_call(hub, "PUT", base("dave", "small") + "objects/" + blob.id, token,
                     std::string(2048, 'x'))
                .status,
            413);
  EXPECT_EQ(
      hub_call(hub, "PUT", base("dave", "other") + "objects/" + blob.id, token, blob.stored).status,
      404);
}

}  // namespace
}  // namespace testing_support
