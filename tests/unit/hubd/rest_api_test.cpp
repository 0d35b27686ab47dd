// The hub's REST API as the client's hub commands and SSH key registration
// use it: each endpoint's answers, and who sees what.

#include <gtest/gtest.h>

#include "web_test_util.h"

namespace testing_support {
namespace {

class HubRest : public SharedHub {};

TEST_F(HubRest, AnswersEachEndpointByCallerAndInput) {
  const std::string none, unknown = "orrery_pat_unknown";
  struct Case {
    std::string method, path;
    const std::string* token;
    std::string body;
    int status;
  } cases[] = {
      {"GET", "/user", &none, "", 401},
      {"GET", "/user", &unknown, "", 401},
      {"GET", "/repos/by-path/alice/public", &bob_, "", 200},
      {"GET", "/repos/by-path/alice/secret", &bob_, "", 404},
      {"GET", "/repos/by-path/alice/secret", &alice_, "", 200},
      {"GET", "/repos/by-path/alice/absent", &alice_, "", 404},
      {"GET", "/vcs/repos/alice/secret/urls", &bob_, "", 404},
      {"GET", "/vcs/repos/alice/public/urls", &bob_, "", 200},
      {"POST", "/repos", &bob_, R"({"name":"public"})", 201},
      {"POST", "/repos", &bob_, R"({"name":"Public"})", 409},
      {"POST", "/repos", &bob_, R"({"name":"x.orrery"})", 422},
      {"POST", "/repos", &bob_, R"({"name":"a/b"})", 422},
      {"POST", "/repos", &bob_, R"({"name":"d","description":"line\nbreak"})", 422},
      {"POST", "/repos", &bob_, R"({"name":"d","description":"\u009b"})", 422},
      {"POST", "/repos", &bob_, R"({"name":"d","is_private":"yes"})", 400},
      {"POST", "/repos", &bob_, "not json", 400},
      {"DELETE", "/repos", &bob_, "", 405},
      {"GET", "/nowhere", &bob_, "", 404},
  };
  for (const Case& c : cases) {
    HubReply reply = api_call(*hub_, c.method, c.path, *c.token, c.body);
    EXPECT_EQ(reply.status, c.status) << c.method << " " << c.path << " " << c.body;
    EXPECT_TRUE(reply.json().is_object() || reply.json().is_array()) << reply.body;
  }
  EXPECT_NE(api_call(*hub_, "GET", "/user", "").head.find("WWW-Authenticate: Bearer"),
            std::string::npos);
}

TEST_F(HubRest, CreatesAndListsTheCallersRepositories) {
  const std::string carol = hub_->add_user("carol");
  HubReply created = api_call(*hub_, "POST", "/repos", carol,
                              R"({"name":"demo","is_private":true,"description":"Тест «ü»"})");
  ASSERT_EQ(created.status, 201) << created.body;
  nlohmann::json repo = created.json();
  const std::string url = hub_->repo_url("carol", "demo");
  EXPECT_EQ(repo.dump(), R"({"default_branch":"main","description":"Тест «ü»","http_clone_url":")" +
                             url + R"(","id":)" + repo["id"].dump() +
                             R"(,"is_private":true,"name":"demo","owner_username":"carol"})");
  EXPECT_EQ(api_call(*hub_, "GET", "/repos", carol).json(), nlohmann::json::array({repo}));
  EXPECT_EQ(api_call(*hub_, "GET", "/repos/by-path/carol/demo", carol).json()["id"], repo["id"]);
  EXPECT_EQ(api_call(*hub_, "GET", "/vcs/repos/carol/demo/urls", carol).body,
            "{\"http_clone_url\":\"" + url + "\",\"ssh_clone_url\":\"\"}");
  // The new repository takes a push at once.
  EXPECT_EQ(hub_call(*hub_, "GET", "/.orrery/carol/demo.orrery/refs/main", carol).status, 404);
  EXPECT_EQ(api_call(*hub_, "GET", "/user", carol).json()["username"], "carol");
}

TEST_F(HubRest, RegistersSshKeysOncePerHub) {
  TempDir dir;
  ASSERT_EQ(run_program("ssh-keygen",
                        {"-q", "-t", "ed25519", "-N", "", "-C", "me@host", "-f", dir / "key"})
                .code,
            0);
  const std::string key = read_text(dir / "key.pub");
  RunResult listed = run_program("ssh-keygen", {"-l", "-f", dir / "key.pub"});
  const std::string fingerprint = listed.out.substr(listed.out.find("SHA256:"), 50);
  const std::string normalized = key.substr(0, key.rfind(' '));

  auto post = [&](const std::string& token, const std::string& public_key) {
    return api_call(
        *hub_, "POST", "/auth/ssh-keys", token,
        nlohmann::json({{"public_key", public_key}, {"title", "orrery-cli host"}}).dump());
  };
  HubReply added = post(alice_, key);
  ASSERT_EQ(added.status, 201) << added.body;
  nlohmann::json stored = added.json();
  EXPECT_EQ(stored["public_key"], normalized);
  EXPECT_EQ(stored["fingerprint"], fingerprint);
  EXPECT_EQ(stored["title"], "orrery-cli host");
  for (const std::string* token : {&alice_, &bob_}) {
    HubReply again = post(*token, normalized + " other comment");
    EXPECT_EQ(again.status, 400);
    EXPECT_NE(again.body.find("already exists"), std::string::npos) << again.body;
  }
  const std::string body = normalized.substr(normalized.find(' ') + 1);
  for (const std::string& bad :
       {"ssh-dss " + body, "ssh-rsa " + body, "ssh-ed25519 " + body + "A",
        "ssh-ed25519 " + body.substr(0, body.size() - 4), std::string("ssh-ed25519")}) {
    EXPECT_EQ(post(alice_, bad).status, 422) << bad;
  }
  EXPECT_EQ(api_call(*hub_, "GET", "/auth/ssh-keys", alice_).json(),
            nlohmann::json::array({stored}));
  EXPECT_EQ(api_call(*hub_, "GET", "/auth/ssh-keys", bob_).body, "[]");
  const std::string item = "/auth/ssh-keys/" + std::to_string(stored["id"].get<int>());
  EXPECT_EQ(api_call(*hub_, "DELETE", item, bob_).status, 404);
  EXPECT_EQ(api_call(*hub_, "DELETE", item, alice_).status, 204);
  EXPECT_EQ(api_call(*hub_, "GET", "/auth/ssh-keys", alice_).body, "[]");
  EXPECT_EQ(post(bob_, key).status, 201) << "a deleted key is free again";
}

}  // namespace
}  // namespace testing_support
