#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "support/http_stub.h"
#include "support/hub_process.h"
#include "support/repo_builder.h"
#include "support/test_support.h"

namespace testing_support {
namespace {

const std::string k_key =
    "ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIAEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEB";

std::string error_lines(const std::string& message, const std::string& hint) {
  return "orrery: ошибка: " + message + "\n  подсказка: " + hint + "\n";
}

// A session as the user has it: no token in the environment, a home and a
// configuration folder of its own, no graphical display.
class HubClientTest : public OrreryTest {
 protected:
  RunResult in(const std::string& cwd, const std::vector<std::string>& args,
               std::map<std::string, std::string> env = {}) {
    return run_orrery(args, {cwd, "", std::move(env)});
  }
  std::string credentials() const { return dir / "config/orrery/credentials"; }

  HubProcess hub{{"--device-interval", "1"}};
  std::string alice = hub.add_user("alice");
  ScopedEnv env{{{"XDG_CONFIG_HOME", dir / "config"},
                 {"HOME", dir / "home dir"},
                 {"ORRERY_HUB_URL", hub.url()},
                 {"ORRERY_TOKEN", k_unset},
                 {"ORRERY_HUB_API_URL", k_unset},
                 {"ORRERY_OAUTH_DEVICE_URL", k_unset},
                 {"ORRERY_OAUTH_TOKEN_URL", k_unset},
                 {"ORRERY_SSH_PUBKEY_PATH", k_unset},
                 {"ORRERY_HUB_SYNC_SSH", k_unset},
                 {"DISPLAY", k_unset},
                 {"WAYLAND_DISPLAY", k_unset},
                 {"ORRERY_HTTP_RETRY_BASE_MS", "50"}}};
};

// Device login approved through the hub's admin command, with the SSH key
// made by ssh-keygen (a fake on PATH) and registered; then a bare-token
// login finds the key there, and logout forgets the token.
TEST_F(HubClientTest, LoginRegistersTheKeyAndLogoutForgetsTheToken) {
  const std::string bin = dir / "bin";
  std::filesystem::create_directories(bin);
  write_text(bin + "/ssh-keygen", "#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"" + bin +
                                      "/args\"\n"
                                      "echo private > \"$6\"\necho '" +
                                      k_key + " made' > \"$6.pub\"\n");
  std::filesystem::permissions(bin + "/ssh-keygen", std::filesystem::perms::owner_all);
  const std::map<std::string, std::string> path{{"PATH", bin + ":" + std::getenv("PATH")}};

  // The code is read from the hub's answer through a front that forwards.
  std::mutex mutex;
  std::string user_code;
  StubServer front([&](const StubRequest& request) {
    StubReply reply = forward_request(hub.port(), request);
    std::lock_guard lock(mutex);
    const auto answer = nlohmann::json::parse(reply.body, nullptr, false);
    if (answer.is_object()) user_code = answer.value("user_code", "");
    return reply;
  });
  RunResult login;
  std::thread background([&] {
    login = run_orrery({"login"}, {dir.path(),
                                   "",
                                   {{"ORRERY_OAUTH_DEVICE_URL", front.url() + "/oauth/device"},
                                    {"PATH", path.at("PATH")}}});
  });
  std::string code;
  for (int i = 0; i < 200 && code.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::lock_guard lock(mutex);
    code = user_code;
  }
  EXPECT_EQ(hub.admin({"device", "approve", code, "--user", "alice"}).code, 0);
  background.join();

  const std::string key_file = dir / "home dir/.ssh/id_orrery_hub_ed25519";
  EXPECT_RUN(login, 0,
             "Вход через Orrery Hub (OAuth device flow).\nКод: " + code +
                 "\nОткрываю браузер…\nПодтвердите вход на сайте; ожидаю авторизацию…\n"
                 "Публичный SSH-ключ зарегистрирован на Orrery Hub (id_orrery_hub_ed25519.pub).\n"
                 "Вход выполнен, токен сохранён.\n",
             "");
  EXPECT_EQ(read_text(bin + "/args"), "-t\ned25519\n-N\n\n-f\n" + key_file + "\n-q\n");
  struct stat st {};
  ASSERT_EQ(::stat(credentials().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const auto saved = nlohmann::json::parse(read_text(credentials()));
  EXPECT_TRUE(saved.contains("access_token") && saved.contains("refresh_token")) << saved;

  EXPECT_RUN(in(dir.path(), {"login", alice}, path), 0,
             "SSH-ключ уже зарегистрирован на Orrery Hub (id_orrery_hub_ed25519.pub).\n"
             "Токен сохранён.\n",
             "");
  EXPECT_EQ(read_text(credentials()), alice + "\n");
  EXPECT_EQ(read_text(bin + "/args"), "-t\ned25519\n-N\n\n-f\n" + key_file + "\n-q\n");
  EXPECT_RUN(orrery({"logout"}), 0, "Токен удалён.\n", "");
  EXPECT_FALSE(path_exists(credentials()));
  EXPECT_RUN(orrery({"hub", "repos"}), 1, "",
             error_lines("нет токена для Orrery Hub",
                         "выполни orrery login (OAuth или orrery login <token>)"));
}

// The device flow against a scripted server: errors keep it polling, a
// refusal ends it, a hostile interval cannot outlast the code, and nothing
// is saved before approval.
TEST_F(HubClientTest, DeviceFlowPollsThroughErrorsAndHonoursTheDeadline) {
  struct Case {
    std::string device_answer;
    std::vector<StubReply> token_answers;  // the last one repeats
    int code;
    std::string out_tail;
    std::string err;
  };
  const std::string device = R"({"device_code":"D","user_code":"AB\u001b[2J","expires_in":)";
  const Case cases[] = {
      {device + R"(30,"interval":1})",
       {{400, R"({"error":"access_denied"})"}},
       1,
       "Откройте в браузере:\n  " + hub.url() +
           "\nПодтвердите вход на сайте; ожидаю авторизацию…\n",
       "Вход отклонён.\n"},
      {device + R"(2,"interval":100000,"verification_uri_complete":"file:///x"})",
       {{400, "{}"}},
       1,
       "Открываю браузер…\nПодтвердите вход на сайте; ожидаю авторизацию…\n",
       "Время ожидания входа истекло.\n"},
      {device + R"(30,"interval":1,"verification_uri":"http://v"})",
       {{500, "<html>"},
        {400, R"({"error":"authorization_pending"})"},
        {200, R"({"access_token":"tok"})"}},
       0,
       "Откройте в браузере:\n  http://v\nПодтвердите вход на сайте; ожидаю авторизацию…\n"
       "Вход выполнен, токен сохранён.\n",
       ""},
  };
  for (const Case& c : cases) {
    std::atomic<size_t> polls{0};
    StubServer server([&](const StubRequest& request) -> StubReply {
      if (request.path == "/oauth/device") return {200, c.device_answer};
      return c.token_answers[std::min(polls++, c.token_answers.size() - 1)];
    });
    const auto start = std::chrono::steady_clock::now();
    const RunResult r = in(dir.path(), {"login"},
                           {{"ORRERY_OAUTH_DEVICE_URL", server.url() + "/oauth/device"},
                            {"ORRERY_OAUTH_TOKEN_URL", server.url() + "/oauth/token"},
                            {"ORRERY_HUB_SYNC_SSH", "0"}});
    EXPECT_RUN(r, c.code, "Вход через Orrery Hub (OAuth device flow).\nКод: AB?[2J\n" + c.out_tail,
               c.err);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(path_exists(credentials()), c.code == 0);
  }
  EXPECT_EQ(read_text(credentials()), "{\"access_token\":\"tok\"}\n");
}

// Repositories listed and cloned by name; pull requests opened from local
// branches, listed and merged with each method.
TEST_F(HubClientTest, HubAndPullRequestsAgainstTheHub) {
  ScopedEnv token{{"ORRERY_TOKEN", alice}};
  hub.create_repo("alice/proj");
  hub.create_repo("alice/secret", true);
  EXPECT_RUN(orrery({"hub", "repos"}), 0,
             "id\towner/name\tвидимость\tописание\n1\talice/proj\tpublic\n"
             "2\talice/secret\tprivate\n",
             "");

  const std::string work = dir / "work";
  ASSERT_EQ(in(dir.path(), {"init", work}).code, 0);
  write_text(work + "/.orrery/config",
             "[remote \"origin\"]\nurl = " + hub.repo_url("alice", "proj") + "\n\n");
  const ObjectId base = commit_files(work, {{"a", "1\n"}});
  ASSERT_EQ(in(work, {"push"}).code, 0);
  std::vector<std::string> shas;
  for (const std::string method : {"merge", "squash", "rebase"}) {
    shas.push_back(commit_files(work, {{"a", "1\n"}, {method, method}}, {base}, method, 1700000001,
                                "f-" + method));
    set_head_symbolic(Repository(work), "refs/heads/f-" + method);
    ASSERT_EQ(in(work, {"push", "origin", "f-" + method}).code, 0);
  }
  EXPECT_RUN(in(work, {"pr", "create", "Новое: merge", "--head", "f-merge"}), 0,
             "Создан pull request #1\n", "");
  EXPECT_RUN(in(work, {"pr", "create", "--head", "f-squash", "squash"}), 0,
             "Создан pull request #2\n", "");
  EXPECT_RUN(in(work, {"pr", "create", "rebase", "--head", "f-rebase"}), 0,
             "Создан pull request #3\n", "");
  EXPECT_RUN(in(work, {"pr", "create", "main"}), 1, "",
             "orrery: ошибка: не удалось создать PR\n  подсказка: HTTP 422: {\"message\":\"нечего "
             "сливать: коммит уже в ветке main\"}\n");
  EXPECT_RUN(in(work, {"pr", "list"}), 0,
             "#3 [open] rebase (" + shas[2].substr(0, 12) + ")\n#2 [open] squash (" +
                 shas[1].substr(0, 12) + ")\n#1 [open] Новое: merge (" + shas[0].substr(0, 12) +
                 ")\n",
             "");
  EXPECT_RUN(orrery({"pr", "merge", "1"}), 0, "Pull request #1 merged (merge)\n", "");
  EXPECT_RUN(orrery({"pr", "merge", " 2abc", "squash"}), 0, "Pull request #2 merged (squash)\n",
             "");
  EXPECT_RUN(orrery({"pr", "merge", "3", "rebase"}), 0, "Pull request #3 merged (rebase)\n", "");
  EXPECT_EQ(in(work, {"pr", "list"}).out.find("[open]"), std::string::npos);

  EXPECT_EQ(orrery({"hub", "clone", "alice/proj", "--workspace", dir / "ws//"}).code, 0);
  for (const std::string name : {"a", "merge", "squash", "rebase"}) {
    EXPECT_TRUE(path_exists(dir / ("ws/proj/" + name))) << name;
  }
  EXPECT_EQ(orrery({"hub", "clone", "alice/proj", "copy", "f-squash", "--workspace", "ws"}).code,
            0);
  EXPECT_TRUE(path_exists(dir / "ws/copy/squash"));
  EXPECT_FALSE(path_exists(dir / "ws/copy/merge"));
}

TEST_F(HubClientTest, BadRequestsStopBeforeAnyChange) {
  ScopedEnv token{{"ORRERY_TOKEN", alice}};
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"hub", "clone", "alice/none"},
       error_lines("не удалось получить URL клонирования",
                   "HTTP 404: {\"message\":\"репозиторий не найден\"}")},
      {{"pr", "create", "t"}, error_lines("не найден репозиторий orrery", "запусти 'orrery init'")},
  };
  for (const auto& [args, err] : cases) {
    SCOPED_TRACE(args[1]);
    EXPECT_RUN(orrery(args), 1, "", err);
  }
  EXPECT_RUN(in(dir.path(), {"pr", "list"}, {{"ORRERY_TOKEN", ""}}), 1, "",
             error_lines("не выполнен вход в Orrery Hub", "запусти 'orrery login'"));
  EXPECT_EQ(list_files(dir.path()), std::vector<std::string>{});
}

// What a hostile hub says is shown with its control bytes defused, and a
// clone URL that is not http(s) is refused.
TEST_F(HubClientTest, AHostileHubCannotDriveTheTerminalOrTheClone) {
  StubServer server([](const StubRequest& request) -> StubReply {
    if (request.path == "/api/repos")
      return {
          200,
          R"([{"id":1,"name":"n\u001b]0;x\u0007","is_private":false,"description":"d\r\u009b"}])"};
    return {200, R"({"http_clone_url":"/etc"})"};
  });
  ScopedEnv env2{{{"ORRERY_TOKEN", "t"}, {"ORRERY_HUB_API_URL", server.url() + "/api"}}};
  EXPECT_RUN(orrery({"hub", "repos"}), 0,
             "id\towner/name\tвидимость\tописание\n1\t?/n?]0;x?\tpublic\td??\n", "");
  EXPECT_RUN(
      orrery({"hub", "clone", "a/b"}), 1, "",
      error_lines("не удалось получить URL клонирования", "Hub вернул адрес не http(s): /etc"));
  EXPECT_FALSE(path_exists(dir / "b"));
}

}  // namespace
}  // namespace testing_support
