#include <gtest/gtest.h>
#include <sys/stat.h>

#include "stage_commit_support.h"
#include "store/config.h"
#include "store/index.h"
#include "support/test_support.h"

namespace {

using namespace testing_support;
using namespace stage_commit_support;

constexpr const char* k_clean = "Нечего коммитить, рабочее дерево чисто\n";
constexpr const char* k_usage_hint =
    "  подсказка: orrery [--quiet|-q] status [-s|--short] [-b|--branch]\n";

class StatusCommand : public OrreryTest {
 protected:
  void SetUp() override { init_repo(); }

  void commit_all(const std::string& message = "m") {
    ASSERT_EQ(orrery({"add", "."}).code, 0);
    RunResult r = orrery({"commit", "-m", message});
    ASSERT_EQ(r.code, 0) << r.err;
  }
  void unstage(const std::string& path) {
    Repository repo(dir.path());
    Index index = load_index(repo);
    index.erase(path);
    save_index(repo, index);
  }
  void move(const std::string& from, const std::string& to) {
    ASSERT_EQ(std::rename(file(from).c_str(), file(to).c_str()), 0);
  }
  // A working tree with one entry in every list of the scan.
  void make_every_kind_of_change() {
    for (const char* name :
         {"mod.txt", "gone.txt", "ren.txt", "wmod.txt", "wdel.txt", "wren.txt"}) {
      write_text(file(name), std::string("content of ") + name + "\n");
    }
    commit_all();
    write_text(file("new.txt"), "new\n");
    write_text(file("mod.txt"), "changed\n");
    ASSERT_EQ(orrery({"add", "new.txt", "mod.txt"}).code, 0);
    unstage("gone.txt");
    std::remove(file("gone.txt").c_str());
    unstage("ren.txt");
    move("ren.txt", "ren2.txt");
    ASSERT_EQ(orrery({"add", "ren2.txt"}).code, 0);
    write_text(file("wmod.txt"), "changed too\n");
    std::remove(file("wdel.txt").c_str());
    move("wren.txt", "wren2.txt");
    write_text(file("untracked.txt"), "u\n");
  }
};

TEST_F(StatusCommand, AFreshRepositoryIsClean) {
  EXPECT_RUN(orrery({"status"}), 0, std::string("На ветке «main»\n") + k_clean, "");
  EXPECT_RUN(orrery({"status", "-s"}), 0, "", "");
  EXPECT_RUN(orrery({"status", "-sb"}), 0, "## main\n", "");
}

TEST_F(StatusCommand, AnUntrackedFileAloneMakesTheTreeDirty) {
  write_text(file("a.txt"), "a");
  EXPECT_RUN(orrery({"status"}), 1, "На ветке «main»\nНеотслеживаемые файлы:\n  a.txt\n", "");
}

TEST_F(StatusCommand, QuietPrintsNothingAndAnswersWithTheExitCode) {
  EXPECT_RUN(orrery({"-q", "status"}), 0, "", "");
  write_text(file("a.txt"), "a");
  EXPECT_RUN(orrery({"--quiet", "status"}), 1, "", "");
  EXPECT_RUN(orrery({"status", "-sb", "-q"}), 1, "", "");
}

TEST_F(StatusCommand, TheLongReportListsEverySection) {
  make_every_kind_of_change();
  EXPECT_RUN(orrery({"status"}), 1,
             "На ветке «main»\n"
             "Изменения, готовые к коммиту:\n"
             "  (new) new.txt\n"
             "  (modified) mod.txt\n"
             "  (deleted) gone.txt\n"
             "  (renamed) ren.txt -> ren2.txt\n"
             "Есть незакоммиченные изменения:\n"
             "  (modified) wmod.txt\n"
             "  (deleted) wdel.txt\n"
             "  (renamed) wren.txt -> wren2.txt\n"
             "Неотслеживаемые файлы:\n"
             "  untracked.txt\n",
             "");
}

TEST_F(StatusCommand, TheShortReportSortsLinesByPath) {
  make_every_kind_of_change();
  write_text(file("new.txt"), "new, then changed\n");
  EXPECT_RUN(orrery({"status", "--short"}), 1,
             "D  gone.txt\n"
             "M  mod.txt\n"
             "AM new.txt\n"
             "R  ren.txt -> ren2.txt\n"
             "?? untracked.txt\n"
             " D wdel.txt\n"
             " M wmod.txt\n"
             " D wren.txt\n"
             "?? wren2.txt\n",
             "");
}

TEST_F(StatusCommand, AStagedFileDeletedFromTheTreeShowsBothColumns) {
  write_text(file("a.txt"), "a");
  ASSERT_EQ(orrery({"add", "a.txt"}).code, 0);
  std::remove(file("a.txt").c_str());
  EXPECT_RUN(orrery({"status", "-s"}), 1, "AD a.txt\n", "");
}

TEST_F(StatusCommand, VerboseNamesTheHeadCommit) {
  write_text(file("a.txt"), "a");
  commit_all();
  EXPECT_RUN(orrery({"-v", "status"}), 0,
             "На ветке «main»\nHEAD: " + branch_tip(dir.path()) + "\n" + k_clean, "");
  EXPECT_RUN(orrery({"-v", "status", "-s"}), 0, "", "");
}

TEST_F(StatusCommand, ADetachedHeadIsNamedByItsAbbreviatedId) {
  write_text(file("a.txt"), "a");
  commit_all();
  const std::string id = branch_tip(dir.path());
  write_text(file(".orrery/HEAD"), id + "\n");
  EXPECT_RUN(orrery({"status"}), 0,
             "Не на ветке: отсоединённый HEAD на " + id.substr(0, 12) +
                 "…\nСравнение с upstream здесь только для именованной ветки.\n"
                 "Чтобы создать ветку от текущего коммита: orrery checkout -b <имя>\n" +
                 k_clean,
             "");
  EXPECT_RUN(orrery({"status", "-bs"}), 0, "## HEAD (" + id.substr(0, 12) + "…)\n", "");
}

TEST_F(StatusCommand, RejectsUnknownArgumentsBeforeLookingAtTheRepository) {
  struct Case {
    std::string arg;
    std::string message;
  };
  const Case cases[] = {
      {"-sx", "неизвестный флаг status: -x"},
      {"-bbq", "неизвестный флаг status: -q"},
      {"--shorter", "неизвестный аргумент для status: --shorter"},
      {"-", "неизвестный аргумент для status: -"},
      {"file.txt", "неизвестный аргумент для status: file.txt"},
  };
  TempDir elsewhere;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arg);
    EXPECT_RUN(orrery_in(elsewhere.path(), {"status", c.arg}), 1, "",
               "orrery: ошибка: " + c.message + "\n" + k_usage_hint);
  }
  EXPECT_RUN(orrery({"status", "", "-ssbb", "-b", "--branch", "-s"}), 0, "## main\n", "");
}

TEST_F(StatusCommand, OutsideARepositoryReportsIt) {
  TempDir elsewhere;
  EXPECT_RUN(orrery_in(elsewhere.path(), {"status"}), 1, "",
             "orrery: ошибка: не найден репозиторий orrery\n"
             "  подсказка: запусти 'orrery init' (нет .orrery в текущем или родительских "
             "каталогах)\n");
}

// The upstream header, with the configuration written through the store.
class StatusUpstream : public StatusCommand {
 protected:
  void configure(const std::string& remote, const std::string& branch) {
    Repository repo(dir.path());
    RepoConfig config = load_config(repo);
    config.branches["main"] = BranchConfig{remote, branch};
    save_config(repo, config);
  }
  std::string header() {
    RunResult r = orrery({"status"});
    EXPECT_EQ(r.err, "");
    const std::string prefix = "На ветке «main»\n";
    EXPECT_EQ(r.out.substr(0, prefix.size()), prefix);
    EXPECT_EQ(r.out.substr(r.out.size() - std::string(k_clean).size()), k_clean);
    return r.out.substr(prefix.size(), r.out.size() - prefix.size() - std::string(k_clean).size());
  }
};

TEST_F(StatusUpstream, CountsCommitsAheadWithRussianPlurals) {
  configure("origin", "main");
  const std::string base = make_commit(dir.path(), std::nullopt, "base");
  set_ref(dir.path(), "refs/remotes/origin/main", base);
  const std::pair<int, std::string> cases[] = {
      {1, "1 коммит"}, {2, "2 коммита"}, {5, "5 коммитов"}, {11, "11 коммитов"}, {21, "21 коммит"}};
  for (const auto& [count, words] : cases) {
    set_ref(dir.path(), "refs/heads/main", extend(dir.path(), base, count));
    EXPECT_EQ(header(), "Опережает «origin/main» на " + words + ".\n");
  }
}

TEST_F(StatusUpstream, ReportsBehindEqualAndDiverged) {
  configure("origin", "main");
  const std::string base = make_commit(dir.path(), std::nullopt, "base");
  set_ref(dir.path(), "refs/heads/main", base);
  set_ref(dir.path(), "refs/remotes/origin/main", extend(dir.path(), base, 2));
  EXPECT_EQ(header(), "Отстаёт от «origin/main» на 2 коммита.\n");

  set_ref(dir.path(), "refs/remotes/origin/main", base);
  EXPECT_EQ(header(), "Совпадает с upstream «origin/main».\n");

  set_ref(dir.path(), "refs/heads/main", make_commit(dir.path(), base, "ours"));
  set_ref(dir.path(), "refs/remotes/origin/main", make_commit(dir.path(), base, "theirs"));
  EXPECT_EQ(header(),
            "Относительно «origin/main» разошлись по первому родителю (нет простого числа "
            "коммитов).\n");
}

TEST_F(StatusUpstream, ExplainsAMissingCommitOrTrackingReference) {
  configure("origin", "dev");
  EXPECT_EQ(header(),
            "Upstream «origin/dev» настроен, но на ветке «main» ещё нет коммита — сравнение с "
            "upstream будет после первого коммита.\n");
  set_ref(dir.path(), "refs/heads/main", make_commit(dir.path(), std::nullopt, "base"));
  EXPECT_EQ(header(), "Upstream «origin/dev»: нет remote-tracking записи; сделай orrery fetch.\n");
}

TEST_F(StatusUpstream, FallsBackToTheRepositoryWideUpstreamPerPart) {
  Repository repo(dir.path());
  RepoConfig config;
  config.upstream_remote = "up";
  config.upstream_branch = "trunk";
  config.branches["main"] = BranchConfig{std::nullopt, std::string("feature")};
  save_config(repo, config);
  const std::string base = make_commit(dir.path(), std::nullopt, "base");
  set_ref(dir.path(), "refs/heads/main", base);
  set_ref(dir.path(), "refs/remotes/up/feature", base);
  EXPECT_EQ(header(), "Совпадает с upstream «up/feature».\n");
}

TEST_F(StatusUpstream, NoUpstreamMeansNoComparison) {
  set_ref(dir.path(), "refs/heads/main", make_commit(dir.path(), std::nullopt, "base"));
  EXPECT_EQ(header(), "");
}

// HEAD that resolves to nothing in a directory that is also a git work tree.
class StatusForeignRepository : public ::testing::Test {
 protected:
  void SetUp() override {
    if (run_program("git", {"--version"}).code != 0) GTEST_SKIP() << "git is not installed";
  }
  RunResult git(const std::string& cwd, std::vector<std::string> args) {
    RunOptions options;
    options.cwd = cwd;
    args.insert(args.begin(), {"-c", "user.name=t", "-c", "user.email=t@example.com"});
    return run_program("git", args, options);
  }
  TempDir top;
};

TEST_F(StatusForeignRepository, AsksGitWithoutAShellEvenForAHostilePath) {
  const std::string root = top / "we\"ird $(touch pwned) `touch pwned2`";
  ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
  ASSERT_EQ(git(root, {"init", "-q", "-b", "feature"}).code, 0);
  ASSERT_EQ(git(root, {"commit", "-q", "--allow-empty", "-m", "x"}).code, 0);
  RunOptions options;
  options.cwd = root;
  ASSERT_EQ(run_orrery({"init"}, options).code, 0);
  write_text(root + "/.orrery/HEAD", "not a head\n");
  RunResult r = run_orrery({"status"}, options);
  EXPECT_RUN(r, 0, std::string("На ветке feature\n") + k_clean, "");
  EXPECT_FALSE(path_exists(top / "pwned"));
  EXPECT_FALSE(path_exists(root + "/pwned"));
  EXPECT_FALSE(path_exists(root + "/pwned2"));
}

TEST_F(StatusForeignRepository, StaysSilentWithoutGitDataOrOnAnUnbornGitBranch) {
  RunOptions options;
  options.cwd = top.path();
  ASSERT_EQ(run_orrery({"init"}, options).code, 0);
  write_text(top / ".orrery/HEAD", "\n");
  EXPECT_RUN(run_orrery({"status"}, options), 0, k_clean, "");
  ASSERT_EQ(git(top.path(), {"init", "-q"}).code, 0);
  EXPECT_RUN(run_orrery({"status"}, options), 0, k_clean, "");
}

}  // namespace
