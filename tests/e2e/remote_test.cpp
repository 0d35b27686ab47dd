#include <sys/stat.h>

#include "support/hub_process.h"
#include "support/repo_builder.h"

namespace testing_support {
namespace {

class RemoteFlow : public OrreryTest {
 protected:
  RunResult in(const std::string& name, const std::vector<std::string>& args) {
    return run_orrery(args, {dir / name, "", {}});
  }
  std::string meta(const std::string& repo, const std::string& relative) {
    return read_text(dir / (repo + "/.orrery/" + relative));
  }
  void make_repo(const std::string& name) { ASSERT_EQ(orrery({"init", name}).code, 0); }
};

TEST_F(RemoteFlow, ListsShowsAddsAndRemovesRemotes) {
  init_repo();
  EXPECT_RUN(orrery({"remote", "add", "origin", "http://old"}), 0, "", "");
  EXPECT_RUN(orrery({"remote", "add", "origin", "http://h/app"}), 0, "", "");
  EXPECT_RUN(orrery({"remote", "add", "b", "http://b"}), 0, "", "");
  EXPECT_RUN(orrery({"remote"}), 0, "b\norigin\n", "");
  EXPECT_RUN(orrery({"remote", "-v"}), 0, "b\thttp://b\norigin\thttp://h/app\n", "");

  write_text(file(".orrery/refs/remotes/origin/feature/x"), std::string(64, '1') + "\n");
  write_text(file(".orrery/config"), read_text(file(".orrery/config")) +
                                         "[branch \"main\"]\nupstream.remote = origin\n\n"
                                         "[branch \"w\"]\nupstream.remote = b\n\n"
                                         "[branch]\nupstream.remote = origin\n"
                                         "upstream.branch = main\n\n");
  EXPECT_RUN(orrery({"remote", "show", "origin"}), 0,
             "* удалённый origin\n  url: http://h/app\n  ветки на удалённом:\n    feature/x\n"
             "  отслеживание:\n    main -> origin/main\n",
             "");
  EXPECT_RUN(orrery({"remote", "rm", "origin"}), 0, "", "");
  EXPECT_EQ(read_text(file(".orrery/config")),
            "[remote \"b\"]\nurl = http://b\n\n[branch \"w\"]\nupstream.remote = b\n\n");
  EXPECT_RUN(orrery({"remote", "remove", "gone"}), 0, "", "");
  EXPECT_RUN(orrery({"remote", "show", "origin"}), 1, "",
             "orrery: ошибка: удалённый не найден: origin\n");
  EXPECT_EQ(orrery({"remote", "add", "x"}).code, 1);
  EXPECT_RUN(orrery({"remote", "add", "../x", "u"}), 1, "",
             "orrery: ошибка: недопустимое имя удалённого: ../x\n");
}

TEST_F(RemoteFlow, LocalCloneCopiesTheFolderAndPointsBackAtIt) {
  make_repo("src");
  commit_snapshot(dir / "src", {{"a.txt", "one\n"}, {"d/b.sh", "x\n"}}, "1");
  ASSERT_EQ(chmod(file("src/d/b.sh").c_str(), 0755), 0);
  write_text(file("src/.orrery/config"),
             "[branch]\nupstream.remote = up\nupstream.branch = dev\n\n");
  EXPECT_RUN(orrery({"clone", "src"}), 1, "",
             "orrery: ошибка: папка назначения внутри источника: src\n");
  EXPECT_RUN(orrery({"clone", "src", "copy"}), 0, "Склонировано src -> copy\n", "");
  EXPECT_EQ(list_files(file("copy")), list_files(file("src")));
  struct stat st;
  ASSERT_EQ(stat(file("copy/d/b.sh").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
  EXPECT_EQ(meta("copy", "config"),
            "[remote \"origin\"]\nurl = src\n\n[branch]\nupstream.remote = up\n"
            "upstream.branch = dev\n\n");
}

TEST_F(RemoteFlow, HostileLocalSourceReachesNothingOutsideTheCopy) {
  make_repo("src");
  write_text(file("outside.txt"), "secret\n");
  ASSERT_EQ(symlink(file("outside.txt").c_str(), file("src/link").c_str()), 0);
  ASSERT_EQ(symlink(dir.path().c_str(), file("src/up").c_str()), 0);
  write_text(file("src/.orrery/config"),
             "[remote \"../../y\"]\nurl = z\n\n[branch \"main\"]\nupstream.remote = ../../x\n\n");
  EXPECT_RUN(orrery({"clone", "src", "src/inner"}), 1, "",
             "orrery: ошибка: папка назначения внутри источника: src/inner\n");
  EXPECT_RUN(orrery({"clone", "src", "copy"}), 0, "Склонировано src -> copy\n",
             "orrery: предупреждение: пропущен удалённый с недопустимым именем: ../../y\n"
             "orrery: предупреждение: пропущена настройка ветки с недопустимым именем: main\n");
  EXPECT_FALSE(path_exists(file("copy/link")) || path_exists(file("copy/up")));
  EXPECT_EQ(meta("copy", "config"),
            "[remote \"origin\"]\nurl = src\n\n[branch]\nupstream.remote = origin\n"
            "upstream.branch = main\n\n");

  EXPECT_RUN(orrery({"clone", "git@host:team/app"}), 1, "",
             "orrery: ошибка: orrery собран без libssh2: клонирование по SSH недоступно\n"
             "  подсказка: собери с HAVE_LIBSSH2 / libssh2 или используй URL https:// для Orrery "
             "Hub\n");
}

// Two clones of one hub repository: "b" pushes, "c" pulls, for each way a
// pull can end.
class HubPullFlow : public RemoteFlow {
 protected:
  void SetUp() override {
    make_repo("a");
    commit_snapshot(dir / "a", {{"f.txt", "base\n"}}, "base");
    ASSERT_EQ(in("a", {"push", url, "main"}).code, 0);
    for (const char* name : {"b", "c"}) {
      EXPECT_RUN(orrery({"clone", url, name}), 0, fetched + "Переключено на ветку «main»\n", "");
    }
  }
  // Commits `files` over the clone's working tree.
  void commit_in(const std::string& name, const FileSet& files) {
    for (const auto& [path, content] : files) write_text(dir / (name + "/" + path), content);
    for (const auto& [path, content] : files) ASSERT_EQ(in(name, {"add", path}).code, 0);
    ASSERT_EQ(in(name, {"commit", "-m", name}).code, 0);
  }

  HubProcess hub;
  ScopedEnv env{{{"ORRERY_TOKEN", hub.add_user("alice")}, {"XDG_CONFIG_HOME", dir / "config"}}};
  const std::string url = hub.repo_url("alice", "proj");
  const std::string fetched = "Скачано main с " + url + "\n";
};

TEST_F(HubPullFlow, HttpCloneChecksOutTheBranch) {
  const std::string id = meta("b", "refs/heads/main");
  EXPECT_EQ(read_text(file("b/f.txt")), "base\n");
  EXPECT_EQ(meta("b", "HEAD"), "ref: refs/heads/main\n");
  EXPECT_EQ(meta("b", "logs/HEAD"),
            std::string(64, '0') + " " + id.substr(0, 64) + "\tобновление: main\n");
  EXPECT_FALSE(path_exists(file("b/.orrery/previous-branch")));
  EXPECT_EQ(in("b", {"status", "-s"}).out, "");
  EXPECT_EQ(meta("b", "config"), "[remote \"origin\"]\nurl = " + url +
                                     "\n\n[branch]\nupstream.remote = origin\n"
                                     "upstream.branch = main\n\n");
  EXPECT_RUN(orrery({"clone", url, "b"}), 1, "",
             "orrery: ошибка: репозиторий уже существует: b\n  подсказка: выбери другой каталог "
             "или удали существующий .orrery/\n");
  RunResult missing = orrery({"clone", url, "d", "nope"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_TRUE(missing.err.ends_with("\nНе удалось клонировать по HTTP\n")) << missing.err;
}

TEST_F(HubPullFlow, PullsUpToDateFastForwardCreatedAndMerged) {
  EXPECT_RUN(in("c", {"pull"}), 0, fetched + "Уже актуально: main\n", "");
  commit_in("b", {{"g.txt", "from b\n"}});
  ASSERT_EQ(in("b", {"push"}).code, 0);
  EXPECT_RUN(in("c", {"pull"}), 0, fetched + "Переключено на ветку «main»\n", "");
  EXPECT_EQ(read_text(file("c/g.txt")), "from b\n");

  make_repo("e");  // no local branch yet
  ASSERT_EQ(in("e", {"remote", "add", "origin", url}).code, 0);
  EXPECT_RUN(in("e", {"pull"}), 0, fetched + "Переключено на ветку «main»\n", "");

  commit_in("b", {{"h.txt", "b again\n"}});
  ASSERT_EQ(in("b", {"push"}).code, 0);
  commit_in("c", {{"i.txt", "from c\n"}});
  EXPECT_RUN(in("c", {"pull", "--ff-only"}), 1, fetched,
             "orrery: ошибка: pull --ff-only: история разошлась (нельзя fast-forward)\n"
             "  подсказка: используй pull (merge) или pull --rebase\n");
  RunResult merged = in("c", {"pull"});
  EXPECT_EQ(merged.code, 0) << merged.err;
  EXPECT_TRUE(merged.out.ends_with("Переключено на ветку «main»\n")) << merged.out;
  EXPECT_EQ(read_text(file("c/h.txt")), "b again\n");
  EXPECT_EQ(in("c", {"push"}).code, 0);  // the merge holds the hub's commit
}

TEST_F(HubPullFlow, RebaseConflictIsResolvedAndContinued) {
  commit_in("b", {{"f.txt", "b side\n"}});
  ASSERT_EQ(in("b", {"push"}).code, 0);
  commit_in("c", {{"f.txt", "c side\n"}});
  RunResult stopped = in("c", {"pull", "--rebase"});
  EXPECT_EQ(stopped.code, 1);
  EXPECT_NE(stopped.err.find("rebase: конфликт на коммите"), std::string::npos) << stopped.err;
  write_text(file("c/f.txt"), "both\n");
  ASSERT_EQ(in("c", {"add", "f.txt"}).code, 0);
  RunResult continued = in("c", {"rebase", "--continue"});
  EXPECT_EQ(continued.code, 0) << continued.err;
  EXPECT_EQ(in("c", {"push"}).code, 0);
}

}  // namespace
}  // namespace testing_support
