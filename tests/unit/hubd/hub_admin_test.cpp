// The admin command line of orrery-hub, run as the built binary: exact
// output, errors and exit codes.

#include <gtest/gtest.h>

#include <regex>

#include "support/test_support.h"

namespace testing_support {
namespace {

TEST(HubAdmin, ManagesUsersTokensAndRepositories) {
  TempDir dir;
  const std::string data = dir / "data";
  auto hub = [&](std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.end(), {"--data", data});
    RunOptions options;
    options.stdin_text = input;
    return run_program(ORRERY_HUB_BINARY, args, options);
  };
  const std::string hint = "  подсказка: ";
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int code;
    std::string out, err;
  } cases[] = {
      {{"user", "add", "alice", "--password-stdin"}, "pw\n", 0, "Создан пользователь alice\n", ""},
      {{"user", "add", "Alice", "--password-stdin"},
       "pw\n",
       1,
       "",
       "orrery-hub: ошибка: пользователь уже существует: Alice\n"},
      {{"user", "add", "bob", "--password-stdin"},
       "",
       1,
       "",
       "orrery-hub: ошибка: пустой пароль\n" + hint +
           "передай пароль первой строкой стандартного ввода\n"},
      {{"user", "add", "-x"},
       "",
       1,
       "",
       "orrery-hub: ошибка: неизвестный параметр: -x\n" + hint + "см. orrery-hub --help\n"},
      {{"user", "add", "a/b", "--password-stdin"},
       "pw\n",
       1,
       "",
       "orrery-hub: ошибка: недопустимое имя пользователя: a/b\n" + hint +
           "латинские буквы, цифры, '-' и '_', до 39 знаков, первый — буква или цифра\n"},
      {{"token", "create", "carol"},
       "",
       1,
       "",
       "orrery-hub: ошибка: пользователь не найден: carol\n" + hint +
           "создай его: orrery-hub user add carol --password-stdin --data " + data + "\n"},
      {{"repo", "create", "alice/site"}, "", 0, "Создан репозиторий alice/site (публичный)\n", ""},
      {{"repo", "create", "alice/Site", "--private"},
       "",
       1,
       "",
       "orrery-hub: ошибка: репозиторий уже существует: alice/Site\n"},
      {{"repo", "create", "alice/x.orrery"},
       "",
       1,
       "",
       "orrery-hub: ошибка: недопустимое имя репозитория: alice/x.orrery\n" + hint +
           "ожидается ВЛАДЕЛЕЦ/ИМЯ: латинские буквы, цифры, '-', '_' и '.'; имя не оканчивается "
           "на .orrery\n"},
      {{"repo", "create", "alice/notes", "--private"},
       "",
       0,
       "Создан репозиторий alice/notes (приватный)\n",
       ""},
      {{"repo", "list"}, "", 0, "alice/notes\tприватный\nalice/site\tпубличный\n", ""},
      {{"repo", "drop"},
       "",
       1,
       "",
       "orrery-hub: ошибка: неизвестная команда: orrery-hub repo drop\n" + hint +
           "см. orrery-hub --help\n"},
      {{"serve", "--listen", "nowhere"},
       "",
       1,
       "",
       "orrery-hub: ошибка: неверный адрес --listen: nowhere\n" + hint +
           "ожидается ХОСТ:ПОРТ, например 127.0.0.1:8080\n"},
  };
  for (const Case& c : cases) {
    RunResult r = hub(c.args, c.input);
    EXPECT_RUN(r, c.code, c.out, c.err);
  }
  RunResult token = hub({"token", "create", "alice"});
  EXPECT_TRUE(std::regex_match(token.out, std::regex("orrery_pat_[0-9a-f]{64}\n"))) << token.out;
  EXPECT_EQ(path_exists(data + "/repos/1.orrery/.orrery/HEAD"), true);
}

}  // namespace
}  // namespace testing_support
