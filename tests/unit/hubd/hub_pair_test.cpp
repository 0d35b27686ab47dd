// Two orrery-hub processes on one PostgreSQL database and one data
// directory, as behind a load balancer: racing guarded pushes through both,
// a device login begun on one and finished on the other, and one of them
// killed in the middle of a push while the other goes on.

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "hub_test_util.h"
#include "web_test_util.h"

namespace testing_support {
namespace {

using nlohmann::json;

const std::string k_base = "/.orrery/alice/pair.orrery/";

class HubPair : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!hub_tests_use_postgres()) GTEST_SKIP() << "two processes need a shared database";
    first_ = std::make_unique<HubProcess>(std::vector<std::string>{"--device-interval", "1"});
    second_ = std::make_unique<HubProcess>(std::vector<std::string>{"--device-interval", "1"},
                                           first_.get());
    alice_ = first_->add_user("alice");
    first_->create_repo("alice/pair");
  }

  // Pushes one commit on `parent` to `branch` through `hub`; the status of
  // its guarded ref update and the commit.
  std::pair<int, std::string> push(const HubProcess& hub, const std::string& branch,
                                   const std::string& parent, const std::string& tag) {
    History made;
    {
      static std::mutex codec;  // the store's codec keeps one context per process
      std::lock_guard lock(codec);
      made = make_history(1, parent, tag);
    }
    hub_call(hub, "POST", k_base + "packs/" + branch, alice_, transfer_stream(made.objects));
    std::vector<std::string> guard;
    if (!parent.empty()) guard.push_back("X-Orrery-Expected-Old: " + parent);
    return {hub_call(hub, "PUT", k_base + "refs/" + branch, alice_, made.commits[0], guard).status,
            made.commits[0]};
  }

  std::string head(const HubProcess& hub, const std::string& branch) {
    return hub_call(hub, "GET", k_base + "refs/" + branch, alice_).body.substr(0, 64);
  }

  std::unique_ptr<HubProcess> first_, second_;
  std::string alice_;
};

TEST_F(HubPair, RacingGuardedPushesThroughBothLoseNoUpdate) {
  const std::string start = push(*first_, "main", "", "start").second;
  std::mutex mutex;
  std::set<std::string> accepted;
  std::map<int, int> statuses;
  std::vector<std::thread> clients;
  for (int client = 0; client < 16; ++client) {
    clients.emplace_back([&, client] {
      for (int round = 0; round < 5; ++round) {
        const HubProcess& hub = (client + round) % 2 ? *first_ : *second_;
        const std::string tag = std::to_string(client) + "-" + std::to_string(round);
        auto [status, commit] = push(hub, "main", head(hub, "main"), tag);
        std::lock_guard lock(mutex);
        ++statuses[status];
        if (status == 200) accepted.insert(commit);
      }
    });
  }
  for (std::thread& client : clients) client.join();

  EXPECT_EQ(statuses[200] + statuses[412], 80) << "an answer other than 200 or 412";
  EXPECT_GT(statuses[412], 0) << "the clients never raced";
  // The first-parent chain holds exactly the accepted commits.
  HubState state(*first_);
  Repository stored(state.root(1));
  size_t chain = 0;
  for (std::string tip = head(*second_, "main"); tip != start; ++chain) {
    ASSERT_EQ(accepted.count(tip), 1u) << tip << " was not accepted";
    tip = read_commit(stored.objects, tip).value().parents.at(0);
  }
  EXPECT_EQ(chain, accepted.size());
  const std::string reflog = state.reflog(1);
  EXPECT_EQ(static_cast<size_t>(std::count(reflog.begin(), reflog.end(), '\n')), 1 + chain);
}

TEST_F(HubPair, DeviceLoginBegunOnOneIsFinishedOnTheOther) {
  json device = oauth_call(*first_, "/oauth/device", {{"client_id", "orrery-cli"}}).json();
  const std::string code = device["user_code"];
  Browser browser(*second_);
  browser.get("/device?user_code=" + code);
  browser.post("/login", {{"csrf_token", browser.csrf()},
                          {"user_code", code},
                          {"username", "alice"},
                          {"password", "secret"}});
  EXPECT_EQ(browser
                .post("/device",
                      {{"user_code", code}, {"action", "approve"}, {"csrf_token", browser.csrf()}})
                .status,
            200);
  HubReply tokens = poll_token(*second_, device["device_code"]);
  ASSERT_EQ(tokens.status, 200) << tokens.body;
  EXPECT_EQ(api_call(*first_, "GET", "/user", tokens.json()["access_token"]).body,
            R"({"id":1,"username":"alice"})");
  EXPECT_EQ(poll_token(*first_, device["device_code"]).json()["error"], "invalid_grant");
}

TEST_F(HubPair, SurvivorServesCorrectlyWhenThePeerIsKilledMidPush) {
  const std::string start = push(*first_, "main", "", "start").second;
  History big = make_history(400, start, "big");
  const std::string stream = transfer_stream(big.objects);
  std::thread upload([&] {
    raw_http_exchange(first_->port(),
                      "POST " + k_base +
                          "packs/main HTTP/1.1\r\nHost: t\r\nX-Orrery-Protocol: 1\r\n"
                          "Authorization: Bearer " +
                          alice_ + "\r\nContent-Length: " + std::to_string(stream.size()) +
                          "\r\n\r\n" + stream,
                      3000);
  });
  std::string tip = start;
  for (int round = 0; round < 6; ++round) {
    if (round == 2) first_->kill_hard();
    auto [status, commit] = push(*second_, "main", tip, "survivor" + std::to_string(round));
    ASSERT_EQ(status, 200);
    tip = commit;
  }
  upload.join();
  EXPECT_EQ(head(*second_, "main"), tip);
  expect_complete_refs(HubState(*second_), 1);
}

}  // namespace
}  // namespace testing_support
