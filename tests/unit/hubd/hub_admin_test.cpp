// The admin command line of orrery-hub, run as the built binary: exact
// output, errors and exit codes.

#include <gtest/gtest.h>

#include <iterator>
#include <regex>
#include <sstream>

#include "hub_test_util.h"
#include "hubd/branch_heads.h"
#include "hubd/schema.h"
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

// An operator moves a hub that grew on SQLite to PostgreSQL.
TEST(HubAdmin, MigratesASqliteHubIntoAnEmptyPostgresDatabase) {
  if (!hub_tests_use_postgres()) GTEST_SKIP() << "needs a PostgreSQL cluster";
  TempDir dir;
  const std::string data = dir / "data";
  auto hub = [&](std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.end(), {"--data", data});
    return run_program(ORRERY_HUB_BINARY, args, {".", input, {}});
  };
  hub({"user", "add", "alice", "--password-stdin"}, "pw\n");
  const std::string token = hub({"token", "create", "alice"}).out.substr(0, 75);
  hub({"repo", "create", "alice/proj", "--private"});
  hub({"repo", "create", "alice/empty"});
  Repository repo(repo_root(data, 1));
  History history = make_history(2);
  for (const StoredObject& object : history.objects) {
    write_raw_object(repo.objects, object.id, object.stored);
  }
  update_ref(repo, "refs/heads/main", history.commits[1]);
  update_ref(repo, "refs/heads/topic/x", history.commits[0]);

  std::string database;
  const std::string url = create_test_database(database);
  RunResult moved = hub({"migrate", "--to", url});
  EXPECT_EQ(moved.code, 0) << moved.err;
  EXPECT_EQ(moved.out.substr(0, moved.out.find('\n')),
            "Перенесено в PostgreSQL: пользователей 1, репозиториев 2, веток 2");
  EXPECT_EQ(hub({"migrate", "--to", url}).code, 1) << "a second copy into a filled database";
  {
    std::unique_ptr<Db> db = open_hub_db(data, url);
    HubContext moved_hub{*db, data, 0, false, {}, {}};
    EXPECT_EQ(read_hub_branch(moved_hub, 1, "main"), history.commits[1]);
    EXPECT_EQ(read_hub_branch(moved_hub, 1, "topic/x"), history.commits[0]);
    EXPECT_EQ(read_hub_reflog(moved_hub, 1),
              std::string(64, '0') + " " + history.commits[1] + "\tобновление: main\n");
    EXPECT_EQ(user_for_token(*db, token).value().name, "alice");
  }
  EXPECT_EQ(hub({"repo", "create", "alice/third", "--db", url}).code, 0);
  EXPECT_TRUE(path_exists(repo_root(data, 3) + "/.orrery/HEAD")) << "ids go on after the copy";
  drop_test_database(database);
}

}  // namespace
}  // namespace testing_support
