#include "hub/ssh_key.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>
#include <vector>

#include "cli/console.h"
#include "hub/safe_text.h"
#include "net/http_client.h"
#include "net/hub_url.h"
#include "store/fs.h"
#include "util/text.h"

extern char** environ;

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

std::string ssh_dir() {
  const char* home = non_empty_env("USERPROFILE");
  if (home == nullptr) home = non_empty_env("HOME");
  return std::string(home != nullptr ? home : ".") + "/.ssh";
}

bool is_regular(const std::string& path) { return fs::is_regular_file(fs::status(path)); }

// Runs ssh-keygen from PATH with an argument vector (no shell, so the path
// needs no quoting); true when it exits 0.
bool run_ssh_keygen(const std::string& private_key) {
  std::vector<std::string> words = {"ssh-keygen", "-t", "ed25519",   "-N",
                                    "",           "-f", private_key, "-q"};
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The public key file to register; nothing, with the warning, when the
// dedicated key could not be made.
std::optional<std::string> choose_key_file(SshKeyResult& result) {
  if (const char* explicit_path = non_empty_env("ORRERY_SSH_PUBKEY_PATH")) return explicit_path;
  const std::string dir = ssh_dir();
  for (const char* name : {"id_ed25519.pub", "id_rsa.pub"}) {
    if (is_regular(dir + "/" + name)) return dir + "/" + name;
  }
  const std::string private_key = dir + "/id_orrery_hub_ed25519";
  const std::string public_key = private_key + ".pub";
  if (is_regular(private_key)) return public_key;
  fs::create_directories(dir);
  if (!run_ssh_keygen(private_key) || !is_regular(public_key)) {
    result.warning =
        "не удалось создать SSH-ключ для Orrery Hub (ssh-keygen). Клонирование по SSH может быть "
        "недоступно.";
    return std::nullopt;
  }
  return public_key;
}

std::string computer_name() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "host";
  return name;
}

// False for a file that cannot be opened or read (a folder, say).
bool read_key_file(const std::string& path, std::string& content) {
  try {
    return read_file_into(path, content);
  } catch (const std::runtime_error&) {
    return false;
  }
}

std::string file_name_of(const std::string& path) { return fs::path(path).filename().string(); }

// The key list, after one retry of a 401 that a freshly issued token can
// still meet; nothing, with the warning, when it cannot be read.
std::optional<json> fetch_key_list(HttpClient& client, const std::string& url,
                                   const std::string& token, SshKeyResult& result) {
  HttpResponse response = client.get(url, hub_read_headers(token), Redirects::stay);
  if (response.error.empty() && response.status == 401) {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    response = client.get(url, hub_read_headers(token), Redirects::stay);
  }
  const bool ok = response.error.empty() && response.status >= 200 && response.status <= 299;
  if (!ok && response.error.empty() && response.status == 401) {
    result.warning =
        "Hub отклонил токен при запросе SSH-ключей (HTTP 401). Убедитесь, что ORRERY_HUB_API_URL "
        "указывает на тот же экземпляр Hub, что и ORRERY_HUB_URL (OAuth выдаёт JWT только для "
        "своего API).";
    return std::nullopt;
  }
  if (!ok) {
    const int status = response.error.empty() ? response.status : 0;
    result.warning =
        "не удалось получить список SSH-ключей с Hub (HTTP " + std::to_string(status) + ").";
    return std::nullopt;
  }
  json list = json::parse(response.body, nullptr, false);
  if (list.is_discarded()) {
    result.warning = "не удалось разобрать ответ /auth/ssh-keys.";
    return std::nullopt;
  }
  return list;
}

bool list_holds_key(const json& list, const std::string& key) {
  if (!list.is_array()) return false;
  for (const json& element : list) {
    if (!element.is_object()) continue;
    auto it = element.find("public_key");
    if (it == element.end() || !it->is_string()) continue;
    if (normalize_ssh_key(it->get_ref<const std::string&>()) == key) return true;
  }
  return false;
}

void post_key(HttpClient& client, const std::string& url, const std::string& token,
              const std::string& key, const std::string& file_name, SshKeyResult& result) {
  const json body = {{"public_key", key}, {"title", "orrery-cli " + computer_name()}};
  HttpResponse response = client.post(
      url, body.dump(-1, ' ', false, json::error_handler_t::replace), hub_json_headers(token));
  if (!response.error.empty()) {
    result.warning = "не удалось отправить SSH-ключ: " + printable_text(response.error);
  } else if (response.status == 200 || response.status == 201) {
    result.notice = "Публичный SSH-ключ зарегистрирован на Orrery Hub (" + file_name + ").";
  } else if (response.status == 400 && (response.body.find("already") != std::string::npos ||
                                        response.body.find("exists") != std::string::npos)) {
    result.notice = "SSH-ключ уже есть на Orrery Hub.";
  } else {
    result.warning = "регистрация SSH-ключа вернула HTTP " + std::to_string(response.status) +
                     ": " + printable_text(response.body);
  }
}

}  // namespace

std::optional<std::string> normalize_ssh_key(std::string_view text) {
  text = text.substr(0, text.find_first_of("\r\n"));
  std::istringstream words{std::string(text)};
  std::string type;
  std::string body;
  if (!(words >> type >> body)) return std::nullopt;
  return type + " " + body;
}

SshKeyResult register_ssh_key(const std::string& token) {
  SshKeyResult result;
  const std::string bearer(trim(token));
  if (bearer.empty()) return result;
  const char* switch_value = std::getenv("ORRERY_HUB_SYNC_SSH");
  if (switch_value != nullptr && std::string_view(switch_value) == "0") return result;

  std::optional<std::string> path = choose_key_file(result);
  if (!path) return result;
  std::string content;
  if (!read_key_file(*path, content) || content.empty()) {
    result.warning = "пустой или нечитаемый файл публичного ключа: " + *path;
    return result;
  }
  std::optional<std::string> key = normalize_ssh_key(content);
  if (!key) {
    result.warning = "не удалось разобрать OpenSSH public key.";
    return result;
  }
  HttpClient client;
  const std::string url = hub_api_base_url() + "/auth/ssh-keys";
  std::optional<json> list = fetch_key_list(client, url, bearer, result);
  if (!list) return result;
  if (list_holds_key(*list, *key)) {
    result.notice = "SSH-ключ уже зарегистрирован на Orrery Hub (" + file_name_of(*path) + ").";
    return result;
  }
  post_key(client, url, bearer, *key, file_name_of(*path), result);
  return result;
}

void print_ssh_key(const SshKeyResult& result) {
  if (!result.notice.empty()) out_stream() << result.notice << "\n";
  if (!result.warning.empty()) print_warning(result.warning);
}
