#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "build_info.h"
#include "support/test_support.h"

namespace testing_support {
namespace {

const std::string k_hint_line = "  подсказка: запусти 'orrery help', чтобы увидеть список команд\n";

// Every help topic, in the order the help command knows them.
const std::vector<std::string> k_topics = {
    "init",   "clone",   "add",   "commit", "status",  "diff",        "merge",     "checkout",
    "switch", "branch",  "log",   "fetch",  "pull",    "push",        "remote",    "bisect",
    "blame",  "grep",    "clean", "reflog", "archive", "describe",    "show",      "config",
    "reset",  "restore", "rm",    "mv",     "tag",     "cherry-pick", "revert",    "rebase",
    "stash",  "pack",    "gc",    "login",  "hub",     "logout",      "uninstall",
};

std::string unknown_topic(const std::string& topic) {
  return "orrery: неизвестная тема справки '" + topic + "'\n" + k_hint_line;
}

bool has_escape(const RunResult& r) {
  return r.out.find('\x1b') != std::string::npos || r.err.find('\x1b') != std::string::npos;
}

// Runs orrery with a pseudo-terminal as its standard streams and returns what
// it wrote there (standard output and error together). The terminal is raw,
// so line feeds arrive untranslated.
std::string run_on_terminal(const std::vector<std::string>& args) {
  std::vector<std::string> argv_strings{ORRERY_BINARY};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : argv_strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  termios raw{};
  cfmakeraw(&raw);
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, &raw, nullptr);
  if (pid < 0) return "forkpty failed";
  if (pid == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  std::string out;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n > 0) {
      out.append(buffer, static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // EIO once the child has closed the terminal
    }
  }
  close(master);
  waitpid(pid, nullptr, 0);
  return out;
}

class CliTest : public OrreryTest {
 protected:
  RunOptions here() const {
    RunOptions options;
    options.cwd = dir.path();
    return options;
  }
};

TEST_F(CliTest, NoArgumentsPrintsTheGeneralHelp) {
  const RunResult general = orrery({});
  EXPECT_RUN(orrery({"help"}), 0, general.out, "");
  EXPECT_EQ(general.code, 0);
  EXPECT_EQ(general.err, "");
  EXPECT_TRUE(general.out.starts_with(
      "Использование: orrery [--quiet|--verbose|--no-color] <команда> [аргументы]\n"
      "Глобальные опции:\n"
      "  --quiet, -q       Тихий режим (без вывода, код 0/1)\n"
      "  --verbose, -v     Подробный вывод\n"
      "  --no-color        Отключить ANSI-цвета\n"
      "  (env) ORRERY_HTTP_CONNECT_TIMEOUT_SEC / ORRERY_HTTP_TIMEOUT_SEC\n"
      "        ORRERY_HTTP_RETRY_MAX (попытки на запрос, по умолчанию 4)\n"
      "        ORRERY_HTTP_RETRY_BASE_MS (базовая пауза экспоненциального backoff, мс)\n"
      "                     Таймауты HTTP (секунды) для fetch/push.\n"
      "Команды:\n"
      "  help [cmd]                 Показать справку по команде\n"
      "  init [путь]                Инициализировать новый репозиторий\n"))
      << general.out;
  EXPECT_NE(general.out.find("\n  commit …                  -m; --amend (замена HEAD-коммита)\n"
                             "  status                     [-s|--short] [-sb] краткий статус "
                             "(ветка+две колонки)\n"),
            std::string::npos);
  EXPECT_TRUE(general.out.ends_with(
      "  login/logout               OAuth device login или ручной токен\n"
      "  uninstall [--dry-run] [--yes]  Данные CLI и при --yes бинарник orrery + файлы "
      "установки\n"
      "  ...                        (есть и другие команды)\n"
      "\n"
      "Запусти: orrery help <cmd>\n"));
  // Heading, seven options, heading, forty commands, a blank line, the closing line.
  EXPECT_EQ(std::count(general.out.begin(), general.out.end(), '\n'), 52);
}

TEST_F(CliTest, OnlyGlobalOptionsPrintTheGeneralHelp) {
  const std::string general = orrery({"help"}).out;
  const std::vector<std::vector<std::string>> lines = {
      {"-q"},
      {"--quiet"},
      {"-v"},
      {"--verbose"},
      {"--no-color"},
      {"--color"},
      {"-q", "-v", "--no-color", "--color", "-q"},
  };
  for (const auto& args : lines) {
    SCOPED_TRACE(args.front());
    EXPECT_RUN(run_orrery(args, here()), 0, general, "");
  }
}

TEST_F(CliTest, GlobalOptionsAreTakenOutWhereverTheyStand) {
  EXPECT_RUN(orrery({"init", "-q"}), 0, "Инициализирован пустой репозиторий orrery в ./.orrery\n",
             "");
  EXPECT_TRUE(path_exists(file(".orrery/HEAD")));
  EXPECT_FALSE(path_exists(file("-q")));

  EXPECT_RUN(orrery({"init", "--verbose", "sub", "--no-color", "--color"}), 0,
             "Инициализирован пустой репозиторий orrery в sub/.orrery\n", "");
  EXPECT_TRUE(path_exists(file("sub/.orrery/HEAD")));

  EXPECT_EQ(orrery({"help", "-v", "init", "--quiet"}).out, orrery({"help", "init"}).out);
  EXPECT_EQ(orrery({"-q", "help", "--", "init"}).out, unknown_topic("--"));
}

TEST_F(CliTest, CombinedAndEqualsFormsAreNotGlobalOptions) {
  EXPECT_RUN(orrery({"-qv"}), 1, "", "orrery: ошибка: неизвестная команда '-qv'\n" + k_hint_line);
  EXPECT_RUN(orrery({"--quiet=1", "help"}), 1, "",
             "orrery: ошибка: неизвестная команда '--quiet=1'\n" + k_hint_line);
  EXPECT_RUN(orrery({"help", "--color=never"}), 1, unknown_topic("--color=never"), "");
}

TEST_F(CliTest, UnknownCommandIsCaseSensitive) {
  EXPECT_RUN(orrery({"Status"}), 1, "",
             "orrery: ошибка: неизвестная команда 'Status'\n"
             "  подсказка: запусти 'orrery help', чтобы увидеть список команд\n");
  EXPECT_RUN(orrery({"HELP"}), 1, "", "orrery: ошибка: неизвестная команда 'HELP'\n" + k_hint_line);
}

TEST_F(CliTest, EveryTopicIsAUsageTextAboutItsCommand) {
  std::vector<std::string> texts;
  for (const std::string& topic : k_topics) {
    const RunResult r = orrery({"help", topic});
    EXPECT_EQ(r.code, 0) << topic;
    EXPECT_EQ(r.err, "") << topic;
    EXPECT_TRUE(r.out.starts_with("Использование")) << topic;
    EXPECT_TRUE(r.out.ends_with("\n")) << topic;
    const bool names_it = r.out.find(" " + topic + " ") != std::string::npos ||
                          r.out.find(" " + topic + "\n") != std::string::npos;
    EXPECT_TRUE(names_it) << topic << ":\n" << r.out;
    EXPECT_EQ(std::find(texts.begin(), texts.end(), r.out), texts.end()) << topic;
    texts.push_back(r.out);
  }
  EXPECT_EQ(texts.size(), 39u);
}

// Commands that look for the repository before they look at the help flag:
// outside one they report the missing repository instead.
const std::vector<std::string> k_repository_first = {"show", "tag"};

// Commands land one by one; each one that exists must answer its help flag
// with its topic, wherever the flag stands, and create nothing.
TEST_F(CliTest, HelpFlagOfACommandPrintsItsTopic) {
  TempDir repo;
  ASSERT_EQ(run_orrery({"init", repo.path()}).code, 0);
  const std::vector<std::string> repo_files = list_files(repo.path());
  int commands_found = 0;
  for (const std::string& topic : k_topics) {
    const bool repository_first = std::find(k_repository_first.begin(), k_repository_first.end(),
                                            topic) != k_repository_first.end();
    const std::string cwd = repository_first ? repo.path() : dir.path();
    const RunResult help = orrery({"help", topic});
    const RunResult flag = orrery_in(cwd, {topic, "--help"});
    if (flag.err.starts_with("orrery: ошибка: неизвестная команда")) continue;
    ++commands_found;
    SCOPED_TRACE(topic);
    EXPECT_RUN(flag, 0, help.out, "");
    EXPECT_RUN(orrery_in(cwd, {topic, "x", "-h"}), 0, help.out, "");
  }
  EXPECT_GE(commands_found, 1);
  EXPECT_EQ(list_files(dir.path()), std::vector<std::string>{});
  EXPECT_EQ(list_files(repo.path()), repo_files);
}

TEST_F(CliTest, InitHelpCreatesNothing) {
  const std::string topic =
      "Использование: orrery init [путь]\n  Инициализировать новый репозиторий Orrery.\n";
  EXPECT_RUN(orrery({"init", "--help"}), 0, topic, "");
  EXPECT_RUN(orrery({"init", "sub", "-h"}), 0, topic, "");
  EXPECT_RUN(orrery({"help", "init", "extra"}), 0, topic, "");
  EXPECT_FALSE(path_exists(file(".orrery")));
  EXPECT_FALSE(path_exists(file("sub")));
}

TEST_F(CliTest, TopicsPrintExactly) {
  const std::string hub_host(k_default_hub_host);
  const std::string hub_url(k_default_hub_url);
  const std::pair<std::string, std::string> cases[] = {
      {"commit",
       "Использование: orrery commit -m \"сообщение\" [--amend]\n"
       "  Создать новый коммит из текущего индекса (**--amend**: заменить вершину **HEAD**, "
       "родители и автор прежнего коммита сохраняются; если **-m** не задан, беру прошлое "
       "сообщение).\n"},
      {"merge",
       "Использование: orrery merge [аргументы…]\n"
       "  В репозитории **`.orrery`**:\n"
       "  orrery merge <ветка|remote/ветка>\n"
       "  orrery merge --abort\n"
       "  Слить ветку в текущую (FF или merge-коммит). При конфликтах: разрешить и commit либо "
       "**--abort** (сброс рабочего дерева и индекса к HEAD, удаление .orrery/MERGE_HEAD).\n"},
      {"fetch",
       "Использование: orrery fetch [аргументы…]\n"
       "  **orrery fetch** [<remote|url> [ветка]] — скачать объекты для Orrery Hub "
       "(**refs/remotes/…**).\n"},
      {"blame",
       "Использование: orrery blame [HEAD|ревизия] <файл>\n"
       "  Построчное приписывание к коммиту по истории первого родителя от указанной ревизии (по "
       "умолчанию HEAD).\n"
       "  Путь к файлу — относительно текущего каталога под корнем репозитория "
       "(**`is_safe_relpath`**; путь после «–», если начинается с «-»). **Бинарные** содержимого "
       "(с NUL в blob) отвергаются. Вывод: **«сокращённый OID (автор дата)\\tстрока»**.\n"},
      {"archive",
       "Использование: orrery archive [-o файл|--output=файл] [--format=tar|zip] [HEAD|ревизия]\n"
       "  Собираю **ustar/tar** или **zip** дерева коммита (только **blob**\u2011файлы): "
       "**zlib/deflate** (метод\u202f8); если слой только растёт — **stored** (0).\n"
       "  Без **`-o`** пишу архив в **stdout** (бинарно). По умолчанию **`--format=tar`**; **zip** "
       "без **zip64** (записи ≤ 4\u202fГиБ, ≤65535 файлов).\n"},
      {"describe",
       "Использование: orrery describe [опции] [ревизия]\n"
       "  **--always** — сокращённый хэш, если на коммит не указывает тег lightweight (**orrery "
       "tag**);\n"
       "  без **--always** — ошибка, если подходящего тега нет.\n"
       "  **--tags** принимается для совместимости со скриптами.\n"},
      {"login",
       "Использование: orrery login | orrery login <token>\n"
       "  Без аргументов — OAuth 2.0 **device flow** (RFC 8628): код устройства, браузер на " +
           hub_host +
           ", опрос токена.\n"
           "  Переменные: **`ORRERY_HUB_URL`** (по умолчанию " +
           hub_url +
           "), **`ORRERY_OAUTH_DEVICE_URL`**, **`ORRERY_OAUTH_TOKEN_URL`**, "
           "**`ORRERY_OAUTH_CLIENT_ID`** (по умолчанию orrery-cli), **`ORRERY_OAUTH_SCOPE`**.\n"
           "  После успешного входа: регистрация **SSH публичного ключа** на Hub (если ключа ещё "
           "нет — создаётся `~/.ssh/id_orrery_hub_ed25519`). Отключить: "
           "**`ORRERY_HUB_SYNC_SSH=0`**.\n"
           "  Один аргумент — сохранить готовый Bearer-токен вручную (как раньше).\n"},
      {"uninstall",
       "Использование: orrery uninstall [--dry-run] [--yes|-y]\n"
       "  Удалить с этой машины **пользовательские данные** Orrery: каталог настроек "
       "(`$XDG_CONFIG_HOME/orrery`, `%LOCALAPPDATA%\\orrery` или `~/.config/orrery`) или файл "
       "**`.orrery_credentials`** в текущем каталоге, если не заданы стандартные пути.\n"
       "  **Репозитории `.orrery` в проектах не трогаю** — только то, что относится к CLI (токены "
       "OAuth, ручной токен).\n"
       "  С **--yes** дополнительно снимается **сама программа**: исполняемый **orrery** и "
       "типичные файлы **cmake --install** в том же префиксе (**lib/liborrery_*.a**, "
       "**lib/cmake/orrery**, **share/doc/orrery**), если раскладка обнаружена. Запуск из "
       "**orrery_tests** или переименованного exe установку не трогает. Для **/usr/local** часто "
       "нужен **sudo orrery uninstall --yes**.\n"
       "  Без **--yes** — показать, что будет удалено, и выйти с кодом **1**, если данные есть "
       "(чтобы случайно не стереть).\n"
       "  **--dry-run** / **-n** — только список путей, без удаления.\n"},
      {"remote",
       "Использование:\n"
       "  orrery remote                # список remote\n"
       "  orrery remote -v             # список remote с URL\n"
       "  orrery remote show <name>    # показать remote (URL, ветки, отслеживание)\n"
       "  orrery remote add <name> <url>\n"
       "  orrery remote remove <name>\n"},
  };
  for (const auto& [topic, text] : cases) EXPECT_RUN(orrery({"help", topic}), 0, text, "");
}

TEST_F(CliTest, UnknownTopicsAnswerOnStandardOutput) {
  for (const std::string topic : {"pr", "help", "Init", "", "init "}) {
    SCOPED_TRACE(topic);
    EXPECT_RUN(orrery({"help", topic}), 1, unknown_topic(topic), "");
  }
}

TEST_F(CliTest, NoEscapeSequencesWhenRedirected) {
  const std::vector<std::vector<std::string>> lines = {
      {"--color"},           {"--color", "help", "status"}, {"--color", "help", "pr"},
      {"--color", "Status"}, {"--color", "init", "--help"},
  };
  for (const auto& args : lines) {
    EXPECT_FALSE(has_escape(run_orrery(args, here()))) << args.back();
  }
}

TEST_F(CliTest, HandlerThatThrowsGetsTheTwoLineReport) {
  write_text(file("plain"), "x");
  EXPECT_RUN(
      orrery({"init", "plain/sub"}), 1, "",
      "orrery: ошибка: Failed to create directory: plain/sub -> Not a directory\n" + k_hint_line);
  EXPECT_EQ(list_files(dir.path()), std::vector<std::string>{"plain"});
}

TEST_F(CliTest, TerminalGetsColourUnlessSwitchedOffLast) {
  const std::string plain = orrery({"help"}).out;
  const std::string coloured = run_on_terminal({"help"});
  EXPECT_TRUE(coloured.starts_with("\x1b[1mИспользование:\x1b[0m orrery ")) << coloured;
  EXPECT_NE(coloured.find("\n\x1b[1;36mКоманды:\x1b[0m\n  \x1b[36mhelp\x1b[0m [cmd] "),
            std::string::npos);
  EXPECT_EQ(run_on_terminal({"--no-color", "--color", "help"}), coloured);
  EXPECT_EQ(run_on_terminal({"--color", "help", "--no-color"}), plain);
  EXPECT_EQ(run_on_terminal({"--no-color"}), plain);
}

TEST_F(CliTest, TopicsAndErrorsAreNeverColouredOnATerminal) {
  EXPECT_EQ(run_on_terminal({"help", "init"}), orrery({"help", "init"}).out);
  EXPECT_EQ(run_on_terminal({"Status"}),
            "orrery: ошибка: неизвестная команда 'Status'\n" + k_hint_line);
}

}  // namespace
}  // namespace testing_support
