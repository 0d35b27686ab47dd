#include <gtest/gtest.h>

#include <string>

#include "hub/pr_cmd.h"
#include "hub/rest_client.h"
#include "hub/safe_text.h"
#include "hub/ssh_key.h"
#include "support/http_stub.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

TEST(PrintableText, ReplacesControlCharactersButKeepsTabsAndUtf8) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\tb", "a\tb"},
      {"red\x1b[31m\r\n", "red?[31m??"},
      {"del\x7f", "del?"},
      {"c1 \xc2\x9b"
       "2J",
       "c1 ?2J"},                                   // U+009B, the one-byte CSI
      {"stray \x9b and \xc3", "stray ? and \xc3"},  // broken UTF-8
      {"Привет, é ✓ \xf0\x9f\x98\x80", "Привет, é ✓ \xf0\x9f\x98\x80"},
      {"nbsp\xc2\xa0", "nbsp\xc2\xa0"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(printable_text(in), out) << in;
}

TEST(ParseOriginOwnerRepo, TakesTheTailAfterTheSyncMarker) {
  const std::pair<std::string, std::string> cases[] = {
      {"https://h/.orrery/alice/demo.orrery/", "alice|demo"},
      {"http://h:8/.orrery/alice/demo", "alice|demo"},
      {"http://h/.orrery/a/.orrery", "a|.orrery"},  // too short to lose the suffix
      {"http://h/.orrery/a/b/c", "a|b/c"},
      {"http://h/alice/demo", ""},
      {"http://h/.orrery/alice", ""},
      {"http://h/.orrery//demo", ""},
      {"http://h/.orrery/alice/", ""},
  };
  for (const auto& [url, expected] : cases) {
    std::optional<OwnerRepo> names = parse_origin_owner_repo(url);
    const std::string got = names ? names->owner + "|" + names->repo : "";
    EXPECT_EQ(got, expected) << url;
  }
}

TEST(ParseLeadingInt32, ReadsTheNumberAtTheStart) {
  const std::pair<std::string, std::optional<int32_t>> cases[] = {
      {"  +7x", 7},
      {"-2147483648", INT32_MIN},
      {"2147483648", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"-", std::nullopt}};
  for (const auto& [text, expected] : cases) EXPECT_EQ(parse_leading_int32(text), expected) << text;
}

class RestClientTest : public ::testing::Test {
 protected:
  StubReply reply{200, "[]"};
  StubServer server{[this](const StubRequest&) { return reply; }};
  ScopedEnv env{{{"ORRERY_HUB_API_URL", server.url() + "/api"}, {"ORRERY_HTTP_RETRY_MAX", "1"}}};
  std::string error;
};

TEST_F(RestClientTest, ReportsFailuresAsText) {
  std::vector<HubRepo> repos;
  EXPECT_FALSE(hub_list_repos(" \t ", repos, &error));
  EXPECT_EQ(error, "empty bearer token");
  EXPECT_TRUE(server.requests().empty());

  const std::pair<StubReply, std::string> cases[] = {
      {{404, ""}, "HTTP 404: "},
      {{500, "oops"}, "HTTP 500: oops"},
      {{200, "{\"id\":1}"}, "unexpected JSON (expected array)"},
  };
  for (const auto& [answer, expected] : cases) {
    reply = answer;
    EXPECT_FALSE(hub_list_repos(" t\n", repos, &error));
    EXPECT_EQ(error, expected);
  }
  EXPECT_EQ(server.requests().back().header("Authorization"), "Bearer t");
  reply = {200, R"([{"id":1,"name":"a"},{"id":"2","name":"b"}])"};
  EXPECT_FALSE(hub_list_repos("t", repos, &error));
  EXPECT_NE(error.find("type must be number"), std::string::npos) << error;
  EXPECT_TRUE(repos.empty());
}

// Every way the key registration ends, as the one line it reports; the key
// is compared without its comment, and a 401 is asked again once.
TEST(RegisterSshKey, ReportsOneNoticeOrWarning) {
  TempDir dir;
  write_text(dir / "k.pub", "ssh-ed25519 AAAA me@here\n");
  struct Case {
    StubReply list;
    StubReply post;
    std::string notice;
    std::string warning;
    size_t requests;
  };
  const Case cases[] = {
      {{200, "[]"},
       {201, "{}"},
       "Публичный SSH-ключ зарегистрирован на Orrery Hub (k.pub).",
       "",
       2},
      {{200, R"([{"public_key":1},{"public_key":"ssh-ed25519 AAAA other"}])"},
       {500, ""},
       "SSH-ключ уже зарегистрирован на Orrery Hub (k.pub).",
       "",
       1},
      {{200, "[]"}, {400, "key already exists"}, "SSH-ключ уже есть на Orrery Hub.", "", 2},
      {{200, "[]"}, {500, "no\x1b"}, "", "регистрация SSH-ключа вернула HTTP 500: no?", 2},
      {{200, "{"}, {201, ""}, "", "не удалось разобрать ответ /auth/ssh-keys.", 1},
      {{503, ""}, {201, ""}, "", "не удалось получить список SSH-ключей с Hub (HTTP 503).", 1},
      {{401, ""}, {201, ""}, "", "Hub отклонил токен при запросе SSH-ключей (HTTP 401).", 2},
  };
  for (const Case& c : cases) {
    StubServer server(
        [&](const StubRequest& request) { return request.method == "GET" ? c.list : c.post; });
    ScopedEnv env{{"ORRERY_HUB_API_URL", server.url()},
                  {"ORRERY_SSH_PUBKEY_PATH", dir / "k.pub"},
                  {"ORRERY_HTTP_RETRY_MAX", "1"}};
    const SshKeyResult result = register_ssh_key(" tok\n");
    EXPECT_EQ(result.notice, c.notice);
    EXPECT_EQ(result.warning.substr(0, c.warning.size()), c.warning);
    EXPECT_EQ(result.warning.empty(), c.warning.empty());
    EXPECT_EQ(server.requests().size(), c.requests) << c.notice << c.warning;
    EXPECT_EQ(server.requests().front().header("Authorization"), "Bearer tok");
  }

  write_text(dir / "k.pub", "one-word\n");
  ScopedEnv env{{"ORRERY_SSH_PUBKEY_PATH", dir / "k.pub"}};
  EXPECT_EQ(register_ssh_key("tok").warning, "не удалось разобрать OpenSSH public key.");
  ScopedEnv off{{"ORRERY_HUB_SYNC_SSH", "0"}};
  EXPECT_EQ(register_ssh_key("tok").warning, "");
}

}  // namespace
