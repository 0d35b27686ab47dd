#include "hubd/hub_cli.h"

#include <charconv>
#include <iostream>

#include "hubd/admin.h"
#include "hubd/db.h"
#include "hubd/db_copy.h"
#include "hubd/server.h"
#include "util/text.h"

namespace {

constexpr const char* k_help =
    "Использование: orrery-hub <команда> [аргументы] --data КАТАЛОГ [--db URL]\n"
    "\n"
    "Без --db данные хранятся в SQLite (КАТАЛОГ/hub.db); с --db postgres://… — в\n"
    "PostgreSQL, и тогда несколько процессов orrery-hub с одним КАТАЛОГОМ и одной\n"
    "базой обслуживают одни и те же репозитории.\n"
    "\n"
    "Команды:\n"
    "  serve --data КАТАЛОГ [--listen ХОСТ:ПОРТ] [--port-file ФАЙЛ] [--public-url URL]\n"
    "        [--threads N] [--max-body РАЗМЕР] [--no-push-create]\n"
    "        [--device-interval СЕК] [--device-expires СЕК] [--token-lifetime СЕК]\n"
    "      запустить сервер (по умолчанию на 127.0.0.1:8080; порт 0 — любой свободный,\n"
    "      его номер записывается в файл --port-file). Вход с устройства: клиент\n"
    "      опрашивает не чаще раза в --device-interval (5), код живёт --device-expires\n"
    "      (900), токен доступа — --token-lifetime (3600) секунд\n"
    "  user add ИМЯ --password-stdin --data КАТАЛОГ\n"
    "      создать пользователя; пароль — первая строка стандартного ввода\n"
    "  token create ИМЯ --data КАТАЛОГ\n"
    "      выдать пользователю токен доступа (показывается один раз)\n"
    "  repo create ВЛАДЕЛЕЦ/ИМЯ [--private] --data КАТАЛОГ\n"
    "      создать репозиторий (по умолчанию публичный)\n"
    "  repo list --data КАТАЛОГ\n"
    "      перечислить репозитории\n"
    "  device approve КОД --user ИМЯ --data КАТАЛОГ\n"
    "      разрешить вход с устройства по коду от имени пользователя\n"
    "  migrate --to postgres://… --data КАТАЛОГ\n"
    "      перенести данные из КАТАЛОГ/hub.db в пустую базу PostgreSQL\n"
    "\n"
    "РАЗМЕР — число байтов с необязательным суффиксом K, M или G (степени 1024),\n"
    "по умолчанию 512M. Без --no-push-create первая запись пользователя в\n"
    "несуществующий репозиторий под его именем создаёт его (приватным).\n";

bool is_help(const HubArgs& args) {
  for (const std::string& arg : args) {
    if (arg == "-h" || arg == "--help") return true;
  }
  return false;
}

std::optional<int> parse_int(std::string_view text, int low, int high) {
  int value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

// "HOST:PORT", "[v6 address]:PORT".
bool parse_listen(std::string_view text, ServeOptions& options) {
  size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  std::string_view host = text.substr(0, colon);
  if (host.front() == '[') {
    if (host.size() < 3 || host.back() != ']') return false;
    host = host.substr(1, host.size() - 2);
  }
  std::optional<int> port = parse_int(text.substr(colon + 1), 0, 65535);
  if (!port) return false;
  options.host = std::string(host);
  options.port = *port;
  return true;
}

// Applies one option of serve; false after reporting a bad value.
bool apply_serve_option(const std::string& name, const std::string& value, ServeOptions& options) {
  if (name == "--data") {
    options.data_dir = value;
  } else if (name == "--db") {
    if (!check_db_url(value)) return false;
    options.db_url = value;
  } else if (name == "--listen") {
    if (!parse_listen(value, options)) {
      print_hub_error("неверный адрес --listen: " + value,
                      "ожидается ХОСТ:ПОРТ, например 127.0.0.1:8080");
      return false;
    }
  } else if (name == "--port-file") {
    options.port_file = value;
  } else if (name == "--public-url") {
    if (!is_http_url(value)) {
      print_hub_error("неверный --public-url: " + value, "ожидается адрес http:// или https://");
      return false;
    }
    options.public_url = value;
    while (options.public_url.back() == '/') options.public_url.pop_back();
  } else if (name == "--threads") {
    std::optional<int> threads = parse_int(value, 1, 1024);
    if (!threads) {
      print_hub_error("неверное число потоков: " + value, "ожидается целое от 1 до 1024");
      return false;
    }
    options.threads = *threads;
  } else if (name == "--device-interval" || name == "--device-expires" ||
             name == "--token-lifetime") {
    std::optional<int> seconds = parse_int(value, 1, 30 * 24 * 3600);
    if (!seconds) {
      print_hub_error("неверное число секунд " + name + ": " + value,
                      "ожидается целое от 1 до 2592000");
      return false;
    }
    int& field = name == "--device-interval"  ? options.auth.device_interval
                 : name == "--device-expires" ? options.auth.device_expires
                                              : options.auth.access_token_lifetime;
    field = *seconds;
  } else if (name == "--max-body") {
    std::optional<size_t> size = parse_byte_size(value);
    if (!size) {
      print_hub_error("неверный размер --max-body: " + value, "например 512M, 64K или 1G");
      return false;
    }
    options.max_body = *size;
  }
  return true;
}

std::optional<ServeOptions> parse_serve_args(const HubArgs& args) {
  std::optional<HubOptions> parsed =
      parse_hub_options(args,
                        {"--data", "--db", "--listen", "--port-file", "--public-url", "--threads",
                         "--max-body", "--device-interval", "--device-expires", "--token-lifetime"},
                        {"--no-push-create"});
  if (!parsed) return std::nullopt;
  if (!parsed->positionals.empty()) {
    print_hub_error("лишний аргумент: " + parsed->positionals.front(), "см. orrery-hub --help");
    return std::nullopt;
  }
  ServeOptions options;
  for (const auto& [name, value] : parsed->values) {
    if (!apply_serve_option(name, value, options)) return std::nullopt;
  }
  options.push_create = parsed->flags.count("--no-push-create") == 0;
  if (options.data_dir.empty()) {
    print_hub_error("не задан каталог данных", "укажи --data КАТАЛОГ");
    return std::nullopt;
  }
  return options;
}

int cmd_serve(const HubArgs& args) {
  std::optional<ServeOptions> options = parse_serve_args(args);
  if (!options) return 1;
  return serve_hub(*options);
}

}  // namespace

bool check_db_url(const std::string& url) {
  if (is_postgres_url(url)) return true;
  print_hub_error("неподдерживаемый адрес базы данных в --db",
                  "ожидается postgres://ПОЛЬЗОВАТЕЛЬ@ХОСТ:ПОРТ/БАЗА; без --db — SQLite в "
                  "каталоге данных");
  return false;
}

void print_hub_error(std::string_view message, std::string_view hint) {
  std::cerr << "orrery-hub: ошибка: " << message << "\n";
  if (!hint.empty()) std::cerr << "  подсказка: " << hint << "\n";
}

std::optional<size_t> parse_byte_size(std::string_view text) {
  int shift = 0;
  if (!text.empty()) {
    switch (text.back()) {
      case 'K':
        shift = 10;
        break;
      case 'M':
        shift = 20;
        break;
      case 'G':
        shift = 30;
        break;
    }
  }
  if (shift != 0) text.remove_suffix(1);
  size_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value == 0 ||
      value > (SIZE_MAX >> shift)) {
    return std::nullopt;
  }
  return value << shift;
}

std::optional<HubOptions> parse_hub_options(const HubArgs& args,
                                            const std::set<std::string>& value_options,
                                            const std::set<std::string>& flag_options) {
  HubOptions parsed;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (value_options.count(arg) != 0) {
      if (i + 1 == args.size()) {
        print_hub_error("параметру " + arg + " нужно значение", "см. orrery-hub --help");
        return std::nullopt;
      }
      parsed.values[arg] = args[++i];
    } else if (flag_options.count(arg) != 0) {
      parsed.flags.insert(arg);
    } else if (arg.size() > 1 && arg[0] == '-') {
      print_hub_error("неизвестный параметр: " + arg, "см. orrery-hub --help");
      return std::nullopt;
    } else {
      parsed.positionals.push_back(arg);
    }
  }
  return parsed;
}

int run_hub_cli(const HubArgs& args) {
  if (args.empty() || is_help(args)) {
    std::cout << k_help;
    return args.empty() ? 1 : 0;
  }
  const HubArgs rest(args.begin() + 1, args.end());
  if (args[0] == "serve") return cmd_serve(rest);
  if (args[0] == "user") return cmd_hub_user(rest);
  if (args[0] == "token") return cmd_hub_token(rest);
  if (args[0] == "repo") return cmd_hub_repo(rest);
  if (args[0] == "device") return cmd_hub_device(rest);
  if (args[0] == "migrate") return cmd_hub_migrate(rest);
  print_hub_error("неизвестная команда: " + args[0], "см. orrery-hub --help");
  return 1;
}
