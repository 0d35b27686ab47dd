#include <algorithm>
#include <string>
#include <vector>

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

// What orrery wrote (standard output and error together) when `script` ran
// it on a pseudo-terminal, with the terminal's "\r\n" turned back into "\n".
std::string run_on_terminal(const std::vector<std::string>& args) {
  std::string command = ORRERY_BINARY;
  for (const std::string& arg : args) command += " " + arg;
  std::string out =
      run_program("script", {"-qefc", command, "/dev/null"}, {".", "", {{"SHELL", "/bin/sh"}}}).out;
  for (size_t at; (at = out.find("\r\n")) != std::string::npos;) out.erase(at, 1);
  return out;
}

using CliTest = OrreryTest;

TEST_F(CliTest, NoCommandPrintsTheGeneralHelp) {
  const RunResult general = orrery({"help"});
  EXPECT_EQ(general.code, 0);
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
  EXPECT_TRUE(general.out.ends_with(
      "  uninstall [--dry-run] [--yes]  Данные CLI и при --yes бинарник orrery + файлы "
      "установки\n"
      "  ...                        (есть и другие команды)\n"
      "\n"
      "Запусти: orrery help <cmd>\n"));
  // Heading, seven options, heading, forty commands, a blank line, the closing line.
  EXPECT_EQ(std::count(general.out.begin(), general.out.end(), '\n'), 52);
  const std::vector<std::vector<std::string>> lines = {
      {}, {"-q"}, {"--verbose"}, {"-q", "-v", "--no-color", "--color", "-q"}};
  for (const auto& args : lines) EXPECT_RUN(orrery(args), 0, general.out, "");
}

TEST_F(CliTest, GlobalOptionsAreTakenOutWhereverTheyStand) {
  EXPECT_RUN(orrery({"init", "-q"}), 0, "Инициализирован пустой репозиторий orrery в ./.orrery\n",
             "");
  EXPECT_FALSE(path_exists(file("-q")));
  EXPECT_RUN(orrery({"init", "--verbose", "sub", "--no-color", "--color"}), 0,
             "Инициализирован пустой репозиторий orrery в sub/.orrery\n", "");
  EXPECT_TRUE(path_exists(file("sub/.orrery/HEAD")));
  EXPECT_EQ(orrery({"help", "-v", "init", "--quiet"}).out, orrery({"help", "init"}).out);
}

TEST_F(CliTest, UnknownCommandsAndTopicsAreReported) {
  // Combined and "=" forms are not global options; names are case-sensitive.
  for (const std::string name : {"-qv", "--quiet=1", "Status"}) {
    EXPECT_RUN(orrery({name, "help"}), 1, "",
               "orrery: ошибка: неизвестная команда '" + name + "'\n" + k_hint_line);
  }
  // An unknown topic is an answer on standard output, with exit code 1.
  for (const std::string topic : {"pr", "help", "Init", "", "--", "--color=never"}) {
    SCOPED_TRACE(topic);
    EXPECT_RUN(orrery({"-q", "help", topic}), 1, unknown_topic(topic), "");
  }
}

TEST_F(CliTest, TopicsPrintExactly) {
  const std::pair<std::string, std::string> cases[] = {
      {"init", "Использование: orrery init [путь]\n  Инициализировать новый репозиторий Orrery.\n"},
      {"commit",
       "Использование: orrery commit -m \"сообщение\" [--amend]\n"
       "  Создать новый коммит из текущего индекса (**--amend**: заменить вершину **HEAD**, "
       "родители и автор прежнего коммита сохраняются; если **-m** не задан, беру прошлое "
       "сообщение).\n"},
  };
  for (const auto& [topic, text] : cases) EXPECT_RUN(orrery({"help", topic, "x"}), 0, text, "");
}

// Commands that look for the repository before they look at the help flag:
// outside one they report the missing repository instead.
const std::vector<std::string> k_repository_first = {"show", "stash", "tag"};

// Every topic is a usage text about its command, and every command that
// exists answers its help flag with it, wherever the flag stands, and creates
// nothing.
TEST_F(CliTest, EveryTopicIsAUsageTextThatItsCommandsHelpFlagPrints) {
  TempDir repo;
  ASSERT_EQ(run_orrery({"init", repo.path()}).code, 0);
  const std::vector<std::string> repo_files = list_files(repo.path());
  std::vector<std::string> texts;
  int commands_found = 0;
  for (const std::string& topic : k_topics) {
    SCOPED_TRACE(topic);
    const RunResult help = orrery({"help", topic});
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_TRUE(help.out.starts_with("Использование"));
    EXPECT_TRUE(help.out.ends_with("\n"));
    const bool names_it = help.out.find(" " + topic + " ") != std::string::npos ||
                          help.out.find(" " + topic + "\n") != std::string::npos;
    EXPECT_TRUE(names_it) << help.out;
    EXPECT_EQ(std::find(texts.begin(), texts.end(), help.out), texts.end());
    texts.push_back(help.out);

    const bool repository_first = std::find(k_repository_first.begin(), k_repository_first.end(),
                                            topic) != k_repository_first.end();
    const std::string cwd = repository_first ? repo.path() : dir.path();
    const RunResult flag = orrery_in(cwd, {topic, "--help"});
    if (flag.err.starts_with("orrery: ошибка: неизвестная команда")) continue;
    ++commands_found;
    EXPECT_RUN(flag, 0, help.out, "");
    EXPECT_RUN(orrery_in(cwd, {topic, "x", "-h"}), 0, help.out, "");
    if (repository_first) {
      EXPECT_RUN(orrery({topic, "--help"}), 1, "",
                 "orrery: ошибка: не найден репозиторий orrery\n"
                 "  подсказка: запусти 'orrery init' (нет .orrery в текущем или родительских "
                 "каталогах)\n");
    }
  }
  EXPECT_GE(commands_found, 20);
  EXPECT_EQ(list_files(dir.path()), std::vector<std::string>{});
  EXPECT_EQ(list_files(repo.path()), repo_files);
}

// Missing or surplus operands: the command's topic on standard output, exit 1
// (handlers that count operands themselves; parsers answer in their tables).
TEST_F(CliTest, IncompleteArgumentsPrintTheTopicAndFail) {
  TempDir repo;
  ASSERT_EQ(run_orrery({"init", repo.path()}).code, 0);
  const std::vector<std::vector<std::string>> cases = {
      {"add"}, {"rm"}, {"mv", "a", "b", "c"}, {"restore"}, {"checkout"}, {"switch"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args[0] + " " + std::to_string(args.size()));
    EXPECT_RUN(run_orrery(args, {repo.path(), "", {}}), 1, orrery({"help", args[0]}).out, "");
  }
}

TEST_F(CliTest, HandlerThatThrowsGetsTheTwoLineReport) {
  write_text(file("plain"), "x");
  EXPECT_RUN(
      orrery({"init", "plain/sub"}), 1, "",
      "orrery: ошибка: Failed to create directory: plain/sub -> Not a directory\n" + k_hint_line);
  EXPECT_EQ(list_files(dir.path()), std::vector<std::string>{"plain"});
}

TEST_F(CliTest, ColourOnlyOnATerminalAndNeverInTopicsOrErrors) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--color"}, {"--color", "help", "pr"}, {"--color", "Status"}}) {
    const RunResult r = orrery(args);
    EXPECT_EQ((r.out + r.err).find('\x1b'), std::string::npos) << args.back();
  }
  const std::string coloured = run_on_terminal({"help"});
  EXPECT_TRUE(coloured.starts_with("\x1b[1mИспользование:\x1b[0m orrery ")) << coloured;
  EXPECT_EQ(run_on_terminal({"help", "init"}), orrery({"help", "init"}).out);
  EXPECT_EQ(run_on_terminal({"Status"}),
            "orrery: ошибка: неизвестная команда 'Status'\n" + k_hint_line);
}

// NO_COLOR set and non-empty is --no-color; an option on the line wins.
TEST_F(CliTest, NoColorVariableTurnsColourOffUnlessTheCommandLineAsks) {
  const std::string plain = orrery({"help"}).out;
  const struct {
    std::string value;
    std::vector<std::string> args;
    bool coloured;
  } cases[] = {
      {"1", {"help"}, false},
      {"0", {"help"}, false},
      {"", {"help"}, true},
      {k_unset, {"help"}, true},
      {k_unset, {"--no-color", "--color", "help"}, true},
      {"1", {"--color", "help"}, true},
      {"1", {"help", "--color"}, true},
      {"1", {"--color", "help", "--no-color"}, false},
  };
  for (const auto& c : cases) {
    ScopedEnv env{{"NO_COLOR", c.value}};
    const std::string out = run_on_terminal(c.args);
    EXPECT_EQ(out == plain, !c.coloured) << c.value << " " << c.args.front();
    EXPECT_EQ(out.starts_with("\x1b[1m"), c.coloured) << c.value << " " << c.args.front();
  }
}

}  // namespace
}  // namespace testing_support
