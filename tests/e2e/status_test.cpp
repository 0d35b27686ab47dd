#include <gtest/gtest.h>
#include <sys/stat.h>

#include "store/config.h"
#include "store/index.h"
#include "support/repo_builder.h"
#include "support/test_support.h"

namespace testing_support {
namespace {

constexpr const char* k_clean = "Нечего коммитить, рабочее дерево чисто\n";

class StatusCommand : public OrreryTest {
 protected:
  void SetUp() override { init_repo(); }

  void commit_all() {
    ASSERT_EQ(orrery({"add", "."}).code, 0);
    RunResult r = orrery({"commit", "-m", "m"});
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

TEST_F(StatusCommand, AFreshRepositoryIsCleanAndAnUntrackedFileMakesItDirty) {
  EXPECT_RUN(orrery({"status"}), 0, std::string("На ветке «main»\n") + k_clean, "");
  EXPECT_RUN(orrery({"status", "-s"}), 0, "", "");
  EXPECT_RUN(orrery({"status", "-sb"}), 0, "## main\n", "");
  EXPECT_RUN(orrery({"-q", "status"}), 0, "", "");
  write_text(file("a.txt"), "a");
  EXPECT_RUN(orrery({"status"}), 1, "На ветке «main»\nНеотслеживаемые файлы:\n  a.txt\n", "");
  EXPECT_RUN(orrery({"status", "-sb", "--quiet"}), 1, "", "");
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
  write_text(file("staged-then-deleted.txt"), "x");
  ASSERT_EQ(orrery({"add", "staged-then-deleted.txt"}).code, 0);
  std::remove(file("staged-then-deleted.txt").c_str());
  EXPECT_RUN(orrery({"status", "--short"}), 1,
             "D  gone.txt\n"
             "M  mod.txt\n"
             "AM new.txt\n"
             "R  ren.txt -> ren2.txt\n"
             "AD staged-then-deleted.txt\n"
             "?? untracked.txt\n"
             " D wdel.txt\n"
             " M wmod.txt\n"
             " D wren.txt\n"
             "?? wren2.txt\n",
             "");
}

TEST_F(StatusCommand, NamesTheHeadCommitOrTheDetachedHead) {
  write_text(file("a.txt"), "a");
  commit_all();
  const std::string id = branch_tip(dir.path());
  EXPECT_RUN(orrery({"-v", "status"}), 0, "На ветке «main»\nHEAD: " + id + "\n" + k_clean, "");
  EXPECT_RUN(orrery({"-v", "status", "-s"}), 0, "", "");
  write_text(file(".orrery/HEAD"), id + "\n");
  EXPECT_RUN(orrery({"status"}), 0,
             "Не на ветке: отсоединённый HEAD на " + id.substr(0, 12) +
                 "…\nСравнение с upstream здесь только для именованной ветки.\n"
                 "Чтобы создать ветку от текущего коммита: orrery checkout -b <имя>\n" +
                 k_clean,
             "");
  EXPECT_RUN(orrery({"status", "-bs"}), 0, "## HEAD (" + id.substr(0, 12) + "…)\n", "");
}

TEST_F(StatusCommand, RejectsAnUnknownFlagBeforeLookingAtTheRepository) {
  TempDir elsewhere;
  EXPECT_RUN(orrery_in(elsewhere.path(), {"status", "-bbq"}), 1, "",
             "orrery: ошибка: неизвестный флаг status: -q\n"
             "  подсказка: orrery [--quiet|-q] status [-s|--short] [-b|--branch]\n");
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
  // `count` commits of the empty tree on top of `parent` (none: from a root).
  ObjectId chain(std::optional<ObjectId> parent, int count, const std::string& label = "c") {
    Repository repo(dir.path());
    const ObjectId tree = store_tree(repo.objects, {});
    for (int i = 0; i < count; ++i) {
      std::vector<ObjectId> parents;
      if (parent) parents.push_back(*parent);
      parent = store_commit(repo.objects, tree, parents, label + std::to_string(i), 1700000000 + i);
    }
    return *parent;
  }
  void set_ref(const std::string& name, const ObjectId& id) {
    write_text(file(".orrery/" + name), id + "\n");
  }
  std::string header() {
    RunResult r = orrery({"status"});
    EXPECT_EQ(r.err, "");
    const std::string prefix = "На ветке «main»\n";
    EXPECT_TRUE(r.out.starts_with(prefix) && r.out.ends_with(k_clean)) << r.out;
    return r.out.substr(prefix.size(), r.out.size() - prefix.size() - std::string(k_clean).size());
  }
};

TEST_F(StatusUpstream, ReportsAheadBehindEqualAndDiverged) {
  configure("origin", "main");
  const ObjectId base = chain(std::nullopt, 1);
  set_ref("refs/remotes/origin/main", base);
  for (const auto& [count, words] : {std::pair{1, "1 коммит"}, std::pair{5, "5 коммитов"}}) {
    set_ref("refs/heads/main", chain(base, count));
    EXPECT_EQ(header(), std::string("Опережает «origin/main» на ") + words + ".\n");
  }
  set_ref("refs/heads/main", base);
  set_ref("refs/remotes/origin/main", chain(base, 2));
  EXPECT_EQ(header(), "Отстаёт от «origin/main» на 2 коммита.\n");

  set_ref("refs/remotes/origin/main", base);
  EXPECT_EQ(header(), "Совпадает с upstream «origin/main».\n");

  set_ref("refs/heads/main", chain(base, 1, "ours"));
  set_ref("refs/remotes/origin/main", chain(base, 1, "theirs"));
  EXPECT_EQ(header(),
            "Относительно «origin/main» разошлись по первому родителю (нет простого числа "
            "коммитов).\n");
}

TEST_F(StatusUpstream, ExplainsAMissingCommitOrTrackingReference) {
  configure("origin", "dev");
  EXPECT_EQ(header(),
            "Upstream «origin/dev» настроен, но на ветке «main» ещё нет коммита — сравнение с "
            "upstream будет после первого коммита.\n");
  set_ref("refs/heads/main", chain(std::nullopt, 1));
  EXPECT_EQ(header(), "Upstream «origin/dev»: нет remote-tracking записи; сделай orrery fetch.\n");
}

TEST_F(StatusUpstream, FallsBackToTheRepositoryWideUpstreamPerPart) {
  Repository repo(dir.path());
  RepoConfig config;
  config.upstream_remote = "up";
  config.upstream_branch = "trunk";
  config.branches["main"] = BranchConfig{std::nullopt, std::string("feature")};
  save_config(repo, config);
  const ObjectId base = chain(std::nullopt, 1);
  set_ref("refs/heads/main", base);
  set_ref("refs/remotes/up/feature", base);
  EXPECT_EQ(header(), "Совпадает с upstream «up/feature».\n");
}

// HEAD that resolves to nothing in a directory that is also a git work tree.
class StatusForeignRepository : public ::testing::Test {
 protected:
  void SetUp() override {
    if (run_program("git", {"--version"}).code != 0) GTEST_SKIP() << "git is not installed";
  }
  RunResult git(const std::string& cwd, std::vector<std::string> args) {
    args.insert(args.begin(), {"-c", "user.name=t", "-c", "user.email=t@example.com"});
    return run_program("git", args, {cwd, "", {}});
  }
  TempDir top;
};

TEST_F(StatusForeignRepository, AsksGitWithoutAShellEvenForAHostilePath) {
  const std::string root = top / "we\"ird $(touch pwned) `touch pwned2`";
  ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
  ASSERT_EQ(git(root, {"init", "-q", "-b", "feature"}).code, 0);
  ASSERT_EQ(git(root, {"commit", "-q", "--allow-empty", "-m", "x"}).code, 0);
  ASSERT_EQ(run_orrery({"init"}, {root, "", {}}).code, 0);
  write_text(root + "/.orrery/HEAD", std::string(64, 'e') + "\n");  // detached at no commit
  EXPECT_RUN(run_orrery({"status"}, {root, "", {}}), 0, std::string("На ветке feature\n") + k_clean,
             "");
  EXPECT_FALSE(path_exists(top / "pwned"));
  EXPECT_FALSE(path_exists(root + "/pwned"));
  EXPECT_FALSE(path_exists(root + "/pwned2"));
}

TEST_F(StatusForeignRepository, StaysSilentWithoutGitDataOrOnAnUnbornGitBranch) {
  const RunOptions here{top.path(), "", {}};
  ASSERT_EQ(run_orrery({"init"}, here).code, 0);
  write_text(top / ".orrery/HEAD", std::string(64, 'e') + "\n");
  EXPECT_RUN(run_orrery({"status"}, here), 0, k_clean, "");
  ASSERT_EQ(git(top.path(), {"init", "-q"}).code, 0);
  EXPECT_RUN(run_orrery({"status"}, here), 0, k_clean, "");
}

}  // namespace
}  // namespace testing_support
