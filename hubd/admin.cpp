#include "hubd/admin.h"

#include <iostream>
#include <memory>

#include "hubd/accounts.h"
#include "hubd/db.h"
#include "hubd/oauth.h"
#include "hubd/schema.h"
#include "hubd/store_gate.h"
#include "store/fs.h"

namespace {

// The words after the subcommand and the --data directory, or nothing after
// an error report.
struct AdminCall {
  std::vector<std::string> words;
  std::string data_dir;
  std::set<std::string> flags;
  std::map<std::string, std::string> values;
};

std::optional<AdminCall> parse_admin_args(const HubArgs& args, std::string_view usage, size_t words,
                                          const std::set<std::string>& flags,
                                          const std::set<std::string>& values = {}) {
  std::set<std::string> value_options = values;
  value_options.insert("--data");
  std::optional<HubOptions> parsed = parse_hub_options(args, value_options, flags);
  if (!parsed) return std::nullopt;
  if (parsed->positionals.size() != words) {
    print_hub_error("использование: orrery-hub " + std::string(usage), "см. orrery-hub --help");
    return std::nullopt;
  }
  auto data = parsed->values.find("--data");
  if (data == parsed->values.end() || data->second.empty()) {
    print_hub_error("не задан каталог данных", "укажи --data КАТАЛОГ");
    return std::nullopt;
  }
  return AdminCall{parsed->positionals, data->second, parsed->flags, parsed->values};
}

std::unique_ptr<Db> open_hub_db(const std::string& data_dir) {
  ensure_directory(data_dir + "/repos");
  std::unique_ptr<Db> db = open_sqlite_db(data_dir + "/hub.db");
  migrate_schema(*db);
  return db;
}

std::string user_missing_hint(const std::string& name, const std::string& data_dir) {
  return "создай его: orrery-hub user add " + name + " --password-stdin --data " + data_dir;
}

// The first line of standard input, without its line end.
std::optional<std::string> read_password() {
  std::string password;
  if (!std::getline(std::cin, password)) return std::nullopt;
  if (!password.empty() && password.back() == '\r') password.pop_back();
  if (password.empty()) return std::nullopt;
  return password;
}

int user_add(const HubArgs& args) {
  std::optional<AdminCall> call = parse_admin_args(
      args, "user add ИМЯ --password-stdin --data КАТАЛОГ", 1, {"--password-stdin"});
  if (!call) return 1;
  const std::string& name = call->words[0];
  if (!is_valid_user_name(name)) {
    print_hub_error("недопустимое имя пользователя: " + name,
                    "латинские буквы, цифры, '-' и '_', до 39 знаков, первый — буква или цифра");
    return 1;
  }
  if (call->flags.count("--password-stdin") == 0) {
    print_hub_error("пароль принимается только со стандартного ввода", "добавь --password-stdin");
    return 1;
  }
  std::optional<std::string> password = read_password();
  if (!password) {
    print_hub_error("пустой пароль", "передай пароль первой строкой стандартного ввода");
    return 1;
  }
  std::unique_ptr<Db> db = open_hub_db(call->data_dir);
  try {
    add_user(*db, name, *password);
  } catch (const DbConstraintError&) {
    print_hub_error("пользователь уже существует: " + name);
    return 1;
  }
  std::cout << "Создан пользователь " << name << "\n";
  return 0;
}

int token_create(const HubArgs& args) {
  std::optional<AdminCall> call = parse_admin_args(args, "token create ИМЯ --data КАТАЛОГ", 1, {});
  if (!call) return 1;
  std::unique_ptr<Db> db = open_hub_db(call->data_dir);
  std::optional<User> user = find_user(*db, call->words[0]);
  if (!user) {
    print_hub_error("пользователь не найден: " + call->words[0],
                    user_missing_hint(call->words[0], call->data_dir));
    return 1;
  }
  std::cout << create_token(*db, *user) << "\n";
  return 0;
}

int repo_create(const HubArgs& args) {
  std::optional<AdminCall> call = parse_admin_args(
      args, "repo create ВЛАДЕЛЕЦ/ИМЯ [--private] --data КАТАЛОГ", 1, {"--private"});
  if (!call) return 1;
  const std::string& full = call->words[0];
  const size_t slash = full.find('/');
  const std::string owner = full.substr(0, slash);
  const std::string name = slash == std::string::npos ? "" : full.substr(slash + 1);
  if (!is_valid_user_name(owner) || !is_valid_repo_name(name)) {
    print_hub_error("недопустимое имя репозитория: " + full,
                    "ожидается ВЛАДЕЛЕЦ/ИМЯ: латинские буквы, цифры, '-', '_' и '.'; имя не "
                    "оканчивается на .orrery");
    return 1;
  }
  std::unique_ptr<Db> db = open_hub_db(call->data_dir);
  std::optional<User> user = find_user(*db, owner);
  if (!user) {
    print_hub_error("пользователь не найден: " + owner, user_missing_hint(owner, call->data_dir));
    return 1;
  }
  const bool is_private = call->flags.count("--private") != 0;
  RepoRecord repo;
  try {
    repo = add_repo(*db, *user, name, is_private);
  } catch (const DbConstraintError&) {
    print_hub_error("репозиторий уже существует: " + user->name + "/" + name);
    return 1;
  }
  ensure_store(repo_root(call->data_dir, repo.id));
  std::cout << "Создан репозиторий " << repo.owner << "/" << repo.name
            << (is_private ? " (приватный)" : " (публичный)") << "\n";
  return 0;
}

int repo_list(const HubArgs& args) {
  std::optional<AdminCall> call = parse_admin_args(args, "repo list --data КАТАЛОГ", 0, {});
  if (!call) return 1;
  std::unique_ptr<Db> db = open_hub_db(call->data_dir);
  for (const RepoRecord& repo : list_repos(*db)) {
    std::cout << repo.owner << "/" << repo.name << "\t"
              << (repo.is_private ? "приватный" : "публичный") << "\n";
  }
  return 0;
}

int device_approve(const HubArgs& args) {
  std::optional<AdminCall> call =
      parse_admin_args(args, "device approve КОД --user ИМЯ --data КАТАЛОГ", 1, {}, {"--user"});
  if (!call) return 1;
  auto name = call->values.find("--user");
  if (name == call->values.end()) {
    print_hub_error("не указан пользователь", "добавь --user ИМЯ");
    return 1;
  }
  std::optional<std::string> code = normalize_user_code(call->words[0]);
  if (!code) {
    print_hub_error("неверный код: " + call->words[0], "код — восемь букв вида XXXX-XXXX");
    return 1;
  }
  std::unique_ptr<Db> db = open_hub_db(call->data_dir);
  std::optional<User> user = find_user(*db, name->second);
  if (!user) {
    print_hub_error("пользователь не найден: " + name->second,
                    user_missing_hint(name->second, call->data_dir));
    return 1;
  }
  PendingDevice device;
  const DeviceLookup lookup = find_pending_device(*db, *code, device);
  if (lookup != DeviceLookup::pending ||
      !decide_device(*db, device.id, *user, DeviceDecision::approve)) {
    print_hub_error(lookup == DeviceLookup::expired ? "срок действия кода истёк"
                                                    : "код не найден или уже использован",
                    "запусти orrery login снова");
    return 1;
  }
  std::cout << "Вход " << format_user_code(*code) << " разрешён для " << user->name << "\n";
  return 0;
}

// Runs the handler of the subcommand args[0] names.
int run_subcommand(
    const HubArgs& args, std::string_view command,
    std::initializer_list<std::pair<std::string_view, int (*)(const HubArgs&)>> table) {
  for (const auto& [word, handler] : table) {
    if (!args.empty() && args[0] == word) return handler(HubArgs(args.begin() + 1, args.end()));
  }
  print_hub_error("неизвестная команда: orrery-hub " + std::string(command) +
                      (args.empty() ? "" : " " + args[0]),
                  "см. orrery-hub --help");
  return 1;
}

}  // namespace

int cmd_hub_user(const HubArgs& args) { return run_subcommand(args, "user", {{"add", user_add}}); }

int cmd_hub_token(const HubArgs& args) {
  return run_subcommand(args, "token", {{"create", token_create}});
}

int cmd_hub_repo(const HubArgs& args) {
  return run_subcommand(args, "repo", {{"create", repo_create}, {"list", repo_list}});
}

int cmd_hub_device(const HubArgs& args) {
  return run_subcommand(args, "device", {{"approve", device_approve}});
}
