// The admin command line of orrery-hub, run as the built binary: exact
// output, errors and exit codes.

#include <gtest/gtest.h>

#include <iterator>
#include <regex>
#include <sstream>

#include "support/test_support.h"

namespace testing_support {
namespace {

TEST(HubAdmin, ManagesUsersTokensAndRepositories) {
  TempDir dir;
  const std::string data = dir / "data";
  auto hub = [&](const std::string& line, const std::string& input = "") {
    std::istringstream words(line + " --data " + data);
    std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
    return run_program(ORRERY_HUB_BINARY, args, {".", input, {}});
  };
  // A failure's expected standard error: the message, then the hint if any.
  auto error = [](const std::string& message, const std::string& hint = "") {
    return "orrery-hub: ошибка: " + message + "\n" +
           (hint.empty() ? "" : "  подсказка: " + hint + "\n");
  };
  struct Case {
    std::string line, input;
    int code;
    std::string out, err;
  } cases[] = {
      {"user add alice --password-stdin", "pw\n", 0, "Создан пользователь alice\n", ""},
      {"user add Alice --password-stdin", "pw\n", 1, "",
       error("пользователь уже существует: Alice")},
      {"user add bob --password-stdin", "", 1, "",
       error("пустой пароль", "передай пароль первой строкой стандартного ввода")},
      {"user add a/b --password-stdin", "pw\n", 1, "",
       error("недопустимое имя пользователя: a/b",
             "латинские буквы, цифры, '-' и '_', до 39 знаков, первый — буква или цифра")},
      {"token create carol", "", 1, "",
       error("пользователь не найден: carol",
             "создай его: orrery-hub user add carol --password-stdin --data " + data)},
      {"repo create alice/site", "", 0, "Создан репозиторий alice/site (публичный)\n", ""},
      {"repo create alice/Site --private", "", 1, "",
       error("репозиторий уже существует: alice/Site")},
      {"repo create alice/x.orrery", "", 1, "",
       error("недопустимое имя репозитория: alice/x.orrery",
             "ожидается ВЛАДЕЛЕЦ/ИМЯ: латинские буквы, цифры, '-', '_' и '.'; имя не "
             "оканчивается на .orrery")},
      {"repo create alice/notes --private", "", 0, "Создан репозиторий alice/notes (приватный)\n",
       ""},
      {"repo list", "", 0, "alice/notes\tприватный\nalice/site\tпубличный\n", ""},
      {"serve --listen nowhere", "", 1, "",
       error("неверный адрес --listen: nowhere", "ожидается ХОСТ:ПОРТ, например 127.0.0.1:8080")},
  };
  for (const Case& c : cases) {
    EXPECT_RUN(hub(c.line, c.input), c.code, c.out, c.err);
  }
  RunResult token = hub("token create alice");
  EXPECT_TRUE(std::regex_match(token.out, std::regex("orrery_pat_[0-9a-f]{64}\n"))) << token.out;
  EXPECT_TRUE(path_exists(data + "/repos/1.orrery/.orrery/HEAD"));
}

}  // namespace
}  // namespace testing_support
