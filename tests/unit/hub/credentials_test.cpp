#include "hub/credentials.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <ctime>
#include <filesystem>

#include "hub/form.h"
#include "support/http_stub.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

class CredentialsTest : public ::testing::Test {
 protected:
  std::string file() const { return dir / "cfg/orrery/credentials"; }
  void store(const std::string& text) {
    std::filesystem::create_directories(dir / "cfg/orrery");
    write_text(file(), text);
  }

  TempDir dir;
  ScopedEnv env{{{"XDG_CONFIG_HOME", dir / "cfg"},
                 {"ORRERY_TOKEN", k_unset},
                 {"ORRERY_HTTP_RETRY_BASE_MS", "50"}}};
};

mode_t mode_of(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 0777;
}

std::string expiry_in(int seconds) { return std::to_string(std::time(nullptr) + seconds); }

TEST_F(CredentialsTest, LoadsABareTokenOrAWellFormedRecord) {
  struct Case {
    std::string text;
    std::optional<std::string> token;
    bool plain;
    std::optional<int64_t> expires_at;
  } cases[] = {
      {"  tok \t\r\n\n", "tok", true, std::nullopt},
      {R"({"access_token":" a ","expires_at":5,"refresh_token":"r"})", "a", false, 5},
      {R"({"access_token":"a","expires_at":5.5})", "a", false, std::nullopt},
      {R"({"access_token":"a","refresh_token":null})", "a", false, std::nullopt},
      {R"({"access_token":"a","refresh_token":3})", std::nullopt, false, std::nullopt},
      {R"({"refresh_token":"r"})", std::nullopt, false, std::nullopt},
      {" \n", std::nullopt, false, std::nullopt},
  };
  for (const Case& c : cases) {
    store(c.text);
    std::optional<Credentials> loaded = load_credentials();
    ASSERT_EQ(loaded.has_value(), c.token.has_value()) << c.text;
    if (!loaded) continue;
    EXPECT_EQ(loaded->access_token, *c.token);
    EXPECT_EQ(loaded->plain, c.plain);
    EXPECT_EQ(loaded->expires_at, c.expires_at);
  }
}

TEST_F(CredentialsTest, SavesPrivatelyInANewPrivateFolder) {
  save_oauth_tokens("acc", std::string(""), 42);
  EXPECT_EQ(read_text(file()), "{\"access_token\":\"acc\",\"expires_at\":42}\n");
  EXPECT_EQ(mode_of(file()), 0600u);
  EXPECT_EQ(mode_of(dir / "cfg/orrery"), 0700u);
  save_plain_token(" bare ");
  EXPECT_EQ(read_text(file()), " bare \n");
  EXPECT_EQ(mode_of(file()), 0600u);
}

TEST_F(CredentialsTest, TheEnvironmentWinsAndAControlByteIsNeverSentOrSaved) {
  store("filetoken\n");
  EXPECT_EQ(current_token(), "filetoken");
  {
    ScopedEnv set({{"ORRERY_TOKEN", " envtoken "}});
    EXPECT_EQ(current_token(), "envtoken");
    ScopedEnv blank({{"ORRERY_TOKEN", "  "}});
    EXPECT_EQ(current_token(), std::nullopt);
  }
  store("{\"access_token\":\"a\\u0007b\"}");
  EXPECT_EQ(current_token(), std::nullopt);
  EXPECT_THROW(save_plain_token("a\nb"), std::runtime_error);
  EXPECT_EQ(read_text(file()), "{\"access_token\":\"a\\u0007b\"}");
}

TEST_F(CredentialsTest, RefreshesATokenAboutToExpireKeepingTheOldRefreshToken) {
  std::atomic<int> status = 200;
  StubServer server([&](const StubRequest&) {
    return StubReply{status, R"({"access_token":"new","expires_in":3600})"};
  });
  ScopedEnv token_url({{"ORRERY_OAUTH_TOKEN_URL", server.url() + "/oauth/token"},
                       {"ORRERY_OAUTH_CLIENT_ID", "my app"}});
  store(R"({"access_token":"far","expires_at":)" + expiry_in(200) + R"(,"refresh_token":"r 1"})");
  EXPECT_EQ(current_token(), "far");
  EXPECT_TRUE(server.requests().empty());

  store(R"({"access_token":"old","expires_at":)" + expiry_in(100) + R"(,"refresh_token":"r 1"})");
  EXPECT_EQ(current_token(), "new");
  std::vector<StubRequest> seen = server.requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].body, "grant_type=refresh_token&refresh_token=r+1&client_id=my+app");
  EXPECT_EQ(seen[0].header("Content-Type"), "application/x-www-form-urlencoded");
  std::optional<Credentials> saved = load_credentials();
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->refresh_token, "r 1");
  EXPECT_GE(*saved->expires_at, std::time(nullptr) + 3590);

  status = 400;  // a refused refresh means no token at all
  store(R"({"access_token":"old","expires_at":1,"refresh_token":"r"})");
  EXPECT_EQ(current_token(), std::nullopt);
}

TEST(CredentialsPath, FallsBackToTheCurrentDirectory) {
  ScopedEnv env({{"XDG_CONFIG_HOME", ""}, {"LOCALAPPDATA", k_unset}, {"HOME", "/home/u"}});
  EXPECT_EQ(credentials_path(), "/home/u/.config/orrery/credentials");
  ScopedEnv none({{"HOME", k_unset}});
  EXPECT_EQ(credentials_path(), ".orrery_credentials");
  EXPECT_FALSE(parse_token_response(R"({"access_token":"t","error":"x"})"));
  EXPECT_EQ(form_encode({{"a b", "x-._~/é"}, {"k", ""}}), "a+b=x-._~%2F%C3%A9&k=");
}

}  // namespace
