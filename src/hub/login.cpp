#include "hub/login.h"

#include <fcntl.h>
#include <spawn.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/help.h"
#include "hub/credentials.h"
#include "hub/form.h"
#include "hub/safe_text.h"
#include "hub/ssh_key.h"
#include "net/http_client.h"
#include "net/hub_url.h"
#include "util/text.h"

extern char** environ;

using nlohmann::json;
using Clock = std::chrono::steady_clock;

namespace {

// A hostile answer may name any number of seconds; beyond this the clock
// arithmetic would overflow, and nobody waits decades for a login.
constexpr int64_t k_max_seconds = int64_t{1} << 30;

const HttpHeaders k_oauth_headers = {"Content-Type: application/x-www-form-urlencoded",
                                     "Accept: application/json"};

struct DeviceCode {
  std::string device_code;
  std::string user_code;
  std::string verification_uri;
  std::optional<std::string> verification_uri_complete;
  int64_t expires_in = 1800;
  int64_t interval = 5;
};

std::optional<std::string> string_member(const json& object, const char* key) {
  auto it = object.find(key);
  if (it == object.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

int64_t seconds_member(const json& object, const char* key, int64_t fallback) {
  auto it = object.find(key);
  if (it == object.end() || !it->is_number_integer()) return fallback;
  if (it->is_number_unsigned()) return std::min<uint64_t>(it->get<uint64_t>(), k_max_seconds);
  return std::clamp<int64_t>(it->get<int64_t>(), -k_max_seconds, k_max_seconds);
}

// Asks for a device code; nothing, with the refusal, on failure.
std::optional<DeviceCode> request_device_code(HttpClient& client, const std::string& url,
                                              const std::string& client_id, std::string& refusal) {
  std::vector<std::pair<std::string, std::string>> form = {{"client_id", client_id}};
  if (const char* scope = non_empty_env("ORRERY_OAUTH_SCOPE")) form.emplace_back("scope", scope);
  HttpResponse response = client.post(url, form_encode(form), k_oauth_headers);
  if (!response.error.empty() || response.status < 200 || response.status > 299) {
    refusal = "OAuth device: запрос не удался";
    if (response.status != 0) refusal += " (HTTP " + std::to_string(response.status) + ")";
    refusal += "\n";
    if (!response.error.empty()) refusal += printable_text(response.error) + "\n";
    return std::nullopt;
  }
  json answer = json::parse(response.body, nullptr, false);
  if (answer.is_discarded()) {
    refusal = "OAuth device: ответ не JSON\n";
    return std::nullopt;
  }
  std::optional<std::string> device =
      answer.is_object() ? string_member(answer, "device_code") : std::nullopt;
  std::optional<std::string> user =
      answer.is_object() ? string_member(answer, "user_code") : std::nullopt;
  if (!device || !user) {
    refusal = "OAuth device: нет device_code или user_code (проверьте endpoint " + url + ")\n";
    return std::nullopt;
  }
  DeviceCode code{*device,
                  *user,
                  string_member(answer, "verification_uri").value_or(hub_base_url()),
                  string_member(answer, "verification_uri_complete"),
                  seconds_member(answer, "expires_in", 1800),
                  seconds_member(answer, "interval", 5)};
  if (code.interval < 1) code.interval = 5;
  return code;
}

// Tells the code, then opens the page where it is entered.
void show_code(const DeviceCode& code, const std::function<void(const DevicePrompt&)>& prompt) {
  const bool complete = code.verification_uri_complete.has_value();
  prompt({code.user_code, code.verification_uri, complete});
  open_browser(complete ? *code.verification_uri_complete : code.verification_uri);
}

enum class PollStep { again, slow_down, done, failed };

// One answer of the token endpoint: the tokens when approved, else what to
// do next (with the refusal, when final).
PollStep read_poll_answer(const std::string& body, std::optional<TokenResponse>& tokens,
                          std::string& refusal) {
  json answer = json::parse(body, nullptr, false);
  if (answer.is_discarded()) return PollStep::again;
  if (!answer.is_object() || !answer.contains("error")) {
    tokens = parse_token_response(body);
    return tokens ? PollStep::done : PollStep::again;
  }
  const json& error = answer["error"];
  const std::string code = error.is_string() ? error.get<std::string>() : error.dump();
  if (code == "authorization_pending") return PollStep::again;
  if (code == "slow_down") return PollStep::slow_down;
  if (code == "access_denied") {
    refusal = "Вход отклонён.\n";
  } else if (code == "expired_token") {
    refusal = "Код устройства истёк; запустите orrery login снова.\n";
  } else {
    refusal = "OAuth: " + printable_text(code) + "\n";
  }
  return PollStep::failed;
}

// Polls until approval; nothing, with the refusal, on refusal or timeout.
// Each sleep ends at the deadline at the latest, whatever the interval.
std::optional<TokenResponse> poll_for_tokens(HttpClient& client, const DeviceCode& code,
                                             const std::string& token_url,
                                             const std::string& client_id, std::string& refusal) {
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(code.expires_in);
  const std::string form =
      form_encode({{"grant_type", "urn:ietf:params:oauth:grant-type:device_code"},
                   {"device_code", code.device_code},
                   {"client_id", client_id}});
  int64_t interval = code.interval;
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline) {
      refusal = "Время ожидания входа истекло.\n";
      return std::nullopt;
    }
    std::this_thread::sleep_until(std::min(deadline, now + std::chrono::seconds(interval)));
    std::optional<TokenResponse> tokens;
    switch (read_poll_answer(client.post(token_url, form, k_oauth_headers).body, tokens, refusal)) {
      case PollStep::done:
        return tokens;
      case PollStep::failed:
        return std::nullopt;
      case PollStep::slow_down:
        interval = std::min(interval + 5, k_max_seconds);
        break;
      case PollStep::again:
        break;
    }
  }
}

}  // namespace

void open_browser(const std::string& url) {
  if (!is_http_url(url) || !is_sendable_token(url)) return;
  if (non_empty_env("DISPLAY") == nullptr && non_empty_env("WAYLAND_DISPLAY") == nullptr) return;
  std::string program = "xdg-open";
  std::string argument = url;
  char* argv[] = {program.data(), argument.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  posix_spawnp(&pid, argv[0], &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
}

namespace {

// The device flow up to the saved tokens; the access token, or nothing with
// the refusal.
std::optional<std::string> device_login(const std::function<void(const DevicePrompt&)>& prompt,
                                        std::string& refusal) {
  HttpClient client;
  const std::string client_id = oauth_client_id();
  const char* device_env = non_empty_env("ORRERY_OAUTH_DEVICE_URL");
  const std::string device_url = device_env ? device_env : hub_base_url() + "/oauth/device";
  std::optional<DeviceCode> code = request_device_code(client, device_url, client_id, refusal);
  if (!code) return std::nullopt;
  show_code(*code, prompt);
  std::optional<TokenResponse> tokens =
      poll_for_tokens(client, *code, oauth_token_url(), client_id, refusal);
  if (!tokens) return std::nullopt;
  if (!is_sendable_token(tokens->access_token) ||
      !is_sendable_token(tokens->refresh_token.value_or(""))) {
    refusal = "OAuth: токен содержит управляющие символы\n";
    return std::nullopt;
  }
  std::optional<int64_t> expires_at;
  if (tokens->expires_in > 0) {
    expires_at =
        static_cast<int64_t>(std::time(nullptr)) + std::min(tokens->expires_in, k_max_seconds);
  }
  save_oauth_tokens(tokens->access_token, tokens->refresh_token, expires_at);
  return tokens->access_token;
}

}  // namespace

Parsed<LoginOptions> parse_login_args(const Args& args) {
  if (args.empty()) return LoginOptions{};
  if (args.size() > 1) return help_error("login");
  if (!is_sendable_token(args[0])) {
    return ArgError{"токен содержит управляющие символы", "скопируй токен заново"};
  }
  return LoginOptions{args[0]};
}

LoginResult do_login(const LoginOptions& opts,
                     const std::function<void(const DevicePrompt&)>& prompt) {
  LoginResult result;
  result.device_flow = !opts.token;
  std::optional<std::string> token = opts.token;
  if (token) {
    save_plain_token(*token);
  } else {
    token = device_login(prompt, result.refusal);
    if (!token) return result;
  }
  result.ssh_key = register_ssh_key(*token);
  return result;
}

void print_device_prompt(const DevicePrompt& prompt) {
  std::cout << "Вход через Orrery Hub (OAuth device flow).\n"
            << "Код: " << printable_text(prompt.user_code) << "\n";
  if (prompt.code_filled_in) {
    std::cout << "Открываю браузер…\n";
  } else {
    std::cout << "Откройте в браузере:\n  " << printable_text(prompt.verification_uri) << "\n";
  }
  std::cout << "Подтвердите вход на сайте; ожидаю авторизацию…\n" << std::flush;
}

int print_login(const LoginResult& result) {
  if (!result.refusal.empty()) {
    std::cout.flush();
    std::cerr << result.refusal;
    return 1;
  }
  print_ssh_key(result.ssh_key);
  std::cout << (result.device_flow ? "Вход выполнен, токен сохранён.\n" : "Токен сохранён.\n");
  return 0;
}

int cmd_login(const Args& args) {
  if (!args.empty() && has_help_flag(args)) return cmd_help({"login"});
  Parsed<LoginOptions> opts = parse_login_args(args);
  if (const ArgError* error = std::get_if<ArgError>(&opts)) return report_arg_error(*error);
  return print_login(do_login(std::get<LoginOptions>(opts), print_device_prompt));
}

void do_logout() { delete_credentials(); }

void print_logout() { std::cout << "Токен удалён.\n"; }

int cmd_logout(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"logout"});
  if (!args.empty()) return report_arg_error(help_error("logout"));
  do_logout();
  print_logout();
  return 0;
}
