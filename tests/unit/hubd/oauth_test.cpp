// The device login against orrery-hub as a child process: the client's
// polls, the approval page driven like a browser with one cookie jar, the
// admin's approval, and the rotation of refresh tokens.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "web_test_util.h"

namespace testing_support {
namespace {

using nlohmann::json;

struct Device {
  std::string device_code, user_code;
};

Device request_device(const HubProcess& hub) {
  HubReply reply = oauth_call(hub, "/oauth/device", {{"client_id", "orrery-cli"}});
  EXPECT_EQ(reply.status, 200) << reply.body;
  json body = reply.json();
  return {body.value("device_code", ""), body.value("user_code", "")};
}

std::string oauth_error(const HubReply& reply) { return reply.json().value("error", ""); }

// Signs the browser in with the code carried along; the page it lands on.
HubReply sign_in(Browser& browser, const std::string& code, const std::string& password) {
  browser.get("/device?user_code=" + code);
  return browser.post("/login", {{"csrf_token", browser.csrf()},
                                 {"user_code", code},
                                 {"username", "alice"},
                                 {"password", password}});
}

TEST(DeviceLogin, ApprovalThroughThePageYieldsTokensOnce) {
  HubProcess hub({"--device-interval", "1"});
  hub.add_user("alice");
  HubReply started = oauth_call(hub, "/oauth/device", {{"client_id", "orrery-cli"}});
  EXPECT_NE(started.head.find("Cache-Control: no-store"), std::string::npos);
  json device = started.json();
  const std::string code = device["user_code"];
  EXPECT_TRUE(std::regex_match(code, std::regex("[B-Z]{4}-[B-Z]{4}"))) << code;
  EXPECT_EQ(device["verification_uri"], hub.url() + "/device");
  EXPECT_EQ(device["verification_uri_complete"], hub.url() + "/device?user_code=" + code);
  EXPECT_EQ(device["interval"], 1);

  EXPECT_EQ(oauth_error(poll_token(hub, device["device_code"])), "authorization_pending");
  EXPECT_EQ(oauth_error(poll_token(hub, device["device_code"])), "slow_down");

  // Typed in lower case without the dash, as a person might.
  std::string typed = code.substr(0, 4) + code.substr(5);
  for (char& c : typed) c = static_cast<char>(std::tolower(c));
  Browser browser(hub);
  HubReply page = browser.get("/device?user_code=" + typed);
  EXPECT_EQ(page.status, 200);
  EXPECT_NE(page.body.find("Войти"), std::string::npos);
  EXPECT_NE(page.head.find("; HttpOnly; SameSite=Lax"), std::string::npos) << page.head;
  const std::string anonymous_csrf = browser.csrf();
  EXPECT_EQ(browser.post("/login", {{"username", "alice"}, {"password", "secret"}}).status, 403);
  EXPECT_EQ(sign_in(browser, typed, "wrong").status, 401);
  page = sign_in(browser, typed, "secret");
  EXPECT_EQ(page.status, 200);
  for (const char* shown :
       {"orrery-cli", "<strong>alice</strong>", code.c_str(), "Разрешить", "Отклонить"}) {
    EXPECT_NE(page.body.find(shown), std::string::npos) << shown;
  }
  const std::string csrf = browser.csrf();
  EXPECT_NE(csrf, anonymous_csrf) << "signing in keeps the anonymous session";

  const Fields approve = {{"user_code", code}, {"action", "approve"}};
  Fields wrong_csrf = approve, good = approve;
  wrong_csrf.push_back({"csrf_token", anonymous_csrf});
  good.push_back({"csrf_token", csrf});
  EXPECT_EQ(browser.post("/device", approve).status, 403);
  EXPECT_EQ(browser.post("/device", wrong_csrf).status, 403);
  EXPECT_EQ(Browser(hub).post("/device", good).status, 401);
  EXPECT_EQ(oauth_error(poll_token(hub, device["device_code"])), "slow_down")
      << "a refused form approved the code";
  page = browser.post("/device", good);
  EXPECT_EQ(page.status, 200);
  EXPECT_NE(page.body.find("Вход разрешён"), std::string::npos);

  HubReply tokens = poll_token(hub, device["device_code"]);
  ASSERT_EQ(tokens.status, 200) << tokens.body;
  EXPECT_EQ(tokens.json()["expires_in"], 3600);
  EXPECT_EQ(api_call(hub, "GET", "/user", tokens.json()["access_token"]).body,
            R"({"id":1,"username":"alice"})");
  EXPECT_EQ(oauth_error(poll_token(hub, device["device_code"])), "invalid_grant");
  EXPECT_EQ(browser.get("/device?user_code=" + code).status, 400) << "a used code offered again";
}

// Long enough for a code to outlive signing in and refusing it, which takes
// seconds under ThreadSanitizer; the test waits this long once.
#if defined(__SANITIZE_THREAD__)  // g++
#define ORRERY_UNDER_TSAN 1
#elif defined(__has_feature)  // clang
#if __has_feature(thread_sanitizer)
#define ORRERY_UNDER_TSAN 1
#endif
#endif
#if defined(ORRERY_UNDER_TSAN)
constexpr int k_short_expiry = 10;
#else
constexpr int k_short_expiry = 2;
#endif

TEST(DeviceLogin, RefusedAndExpiredCodesEndThePolling) {
  HubProcess hub({"--device-expires", std::to_string(k_short_expiry)});
  hub.add_user("alice");
  Device expired = request_device(hub);
  const auto expiry = std::chrono::steady_clock::now() + std::chrono::seconds(k_short_expiry) +
                      std::chrono::milliseconds(200);
  Device denied = request_device(hub);
  Browser browser(hub);
  sign_in(browser, denied.user_code, "secret");
  HubReply page = browser.post(
      "/device",
      {{"csrf_token", browser.csrf()}, {"user_code", denied.user_code}, {"action", "deny"}});
  EXPECT_NE(page.body.find("Вход отклонён"), std::string::npos) << page.body;
  EXPECT_EQ(oauth_error(poll_token(hub, denied.device_code)), "access_denied");

  std::this_thread::sleep_until(expiry);
  EXPECT_EQ(oauth_error(poll_token(hub, expired.device_code)), "expired_token");
  page = browser.get("/device?user_code=" + expired.user_code);
  EXPECT_EQ(page.status, 400);
  EXPECT_NE(page.body.find("Срок действия кода истёк"), std::string::npos);
  EXPECT_EQ(page.body.find("Разрешить"), std::string::npos);
  EXPECT_RUN(hub.admin({"device", "approve", expired.user_code, "--user", "alice"}), 1, "",
             "orrery-hub: ошибка: срок действия кода истёк\n"
             "  подсказка: запусти orrery login снова\n");
}

TEST(DeviceLogin, WrongCodesCloseThePageForTheSessionAndThePeer) {
  HubProcess hub({"--public-url", "https://hub.test"});  // behind a TLS proxy
  hub.add_user("alice");
  Device device = request_device(hub);
  Browser browser(hub);
  EXPECT_NE(browser.get("/device").head.find("; HttpOnly; SameSite=Lax; Secure"),
            std::string::npos);
  EXPECT_EQ(sign_in(browser, "", "secret").status, 200);
  for (const char* wrong : {"BBBB-BBBB", "CCCCCCCC", "zz", "BBBB-BBBC", "DDDD-DDDD"}) {
    EXPECT_EQ(browser.get(std::string("/device?user_code=") + wrong).status, 400) << wrong;
  }
  HubReply limited = browser.get("/device?user_code=" + device.user_code);
  EXPECT_EQ(limited.status, 429);
  EXPECT_NE(limited.head.find("Retry-After: "), std::string::npos);
  Browser other(hub);
  EXPECT_EQ(sign_in(other, device.user_code, "secret").status, 429) << "a new session";
  EXPECT_EQ(oauth_error(poll_token(hub, device.device_code)), "authorization_pending");
}

TEST(DeviceLogin, ReusingARotatedRefreshTokenRevokesTheLogin) {
  HubProcess hub;
  const std::string pat = hub.add_user("alice");
  Device device = request_device(hub);
  EXPECT_RUN(hub.admin({"device", "approve", device.user_code, "--user", "alice"}), 0,
             "Вход " + device.user_code + " разрешён для alice\n", "");
  json first = poll_token(hub, device.device_code).json();
  auto refresh = [&](const std::string& token, const std::string& client = "orrery-cli") {
    return oauth_call(
        hub, "/oauth/token",
        {{"grant_type", "refresh_token"}, {"refresh_token", token}, {"client_id", client}});
  };
  EXPECT_EQ(refresh(first["refresh_token"], "someone-else").status, 401);
  json second = refresh(first["refresh_token"]).json();
  ASSERT_TRUE(second.contains("refresh_token")) << second;
  EXPECT_NE(second["refresh_token"], first["refresh_token"]);
  EXPECT_EQ(api_call(hub, "GET", "/user", second["access_token"]).status, 200);
  json third = refresh(second["refresh_token"]).json();

  EXPECT_EQ(oauth_error(refresh(first["refresh_token"])), "invalid_grant");
  for (const json* tokens : {&first, &second, &third}) {
    EXPECT_EQ(api_call(hub, "GET", "/user", (*tokens)["access_token"]).status, 401);
  }
  EXPECT_EQ(oauth_error(refresh(third["refresh_token"])), "invalid_grant");
  EXPECT_EQ(api_call(hub, "GET", "/user", pat).status, 200);

  struct Case {
    std::string path, form;
    int status;
    std::string error;
  } cases[] = {
      {"/oauth/device", "client_id=nobody", 401, "invalid_client"},
      {"/oauth/device", "client_id=orrery-cli&scope=a%22b", 400, "invalid_scope"},
      {"/oauth/token", "grant_type=password&client_id=orrery-cli", 400, "unsupported_grant_type"},
      {"/oauth/token", "grant_type=refresh_token&refresh_token=x&refresh_token=y", 400,
       "invalid_request"},
  };
  for (const Case& c : cases) {
    HubReply reply = web_call(hub.port(), "POST", c.path,
                              {"Content-Type: application/x-www-form-urlencoded"}, c.form);
    EXPECT_EQ(reply.status, c.status) << c.form;
    EXPECT_EQ(oauth_error(reply), c.error) << c.form;
  }
}

// A person's approval in a real browser; skipped where Chromium is missing
// (scripts/bootstrap installs it).
TEST(DeviceLogin, ApprovalInHeadlessChromiumLetsTheClientsPollSucceed) {
  RunResult found = run_program("sh", {"-c", "command -v chromium"});
  if (found.code != 0) GTEST_SKIP() << "chromium is not installed";
  HubProcess hub({"--device-interval", "1"});
  hub.add_user("alice");
  json device = oauth_call(hub, "/oauth/device", {{"client_id", "orrery-cli"}}).json();
  RunResult browser =
      run_program("python3", {std::string(ORRERY_SOURCE_DIR) + "/tests/support/browser_approve.py",
                              found.out.substr(0, found.out.find('\n')),
                              device["verification_uri_complete"], "alice", "secret"});
  EXPECT_RUN(browser, 0, "Вход разрешён\n", "");
  HubReply tokens = poll_token(hub, device["device_code"]);
  EXPECT_EQ(tokens.status, 200) << tokens.body;
  EXPECT_EQ(api_call(hub, "GET", "/user", tokens.json().value("access_token", "")).status, 200);
}

}  // namespace
}  // namespace testing_support
