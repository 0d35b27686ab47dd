#include "store/revision.h"
#include "support/repo_builder.h"

namespace testing_support {
namespace {

std::string err(const std::string& message, const std::string& hint = "") {
  return "orrery: ошибка: " + message + "\n" + (hint.empty() ? "" : "  подсказка: " + hint + "\n");
}

class History : public HistoryTest {
 protected:
  // The bytes an abort must give back: index, HEAD, references, working files.
  std::map<std::string, std::string> tracked_bytes() {
    std::map<std::string, std::string> out;
    for (const std::string& path : list_files(dir.path())) {
      const bool meta = path.rfind(".orrery/", 0) == 0;
      if (!meta || path == ".orrery/index" || path == ".orrery/HEAD" ||
          path.rfind(".orrery/refs/", 0) == 0) {
        out[path] = read_text(file(path));
      }
    }
    return out;
  }
  // Commits through the commands, so the index carries real stats.
  void commit_all(const FileSet& files, const std::string& message) {
    for (const auto& [path, text] : files) write_text(file(path), text);
    ASSERT_EQ(orrery({"add", "."}).code, 0);
    ASSERT_EQ(orrery({"commit", "-m", message}).code, 0);
  }
  // Checkout leaves files the branch lacks: these go, and the index gets stats.
  void switch_to(const std::string& branch) {
    orrery({"checkout", branch});
    orrery({"reset", "--hard"});
    orrery({"add", "."});
  }
  // main: base, then `ours`; topic (from base): `theirs`. HEAD on `on`.
  void fork(const FileSet& base, const FileSet& theirs, const FileSet& ours,
            const std::string& on = "main") {
    commit_all(base, "base");
    orrery({"checkout", "-b", "topic"});
    commit_all(theirs, "topic change");
    switch_to("main");
    commit_all(ours, "main change");
    switch_to(on);
  }
  std::optional<Commit> tip(const std::string& branch) {
    return read_commit(Repository(dir.path()).objects, branch_tip(dir.path(), branch));
  }
  ObjectId tree_of(const FileSet& files) {
    return store_tree(Repository(dir.path()).objects, files);
  }
};

TEST_F(History, MergeRefusesUnknownBranchesAndStates) {
  commit({{"a", "1\n"}}, "first");
  commit_files(dir.path(), {{"b", "2\n"}}, {}, "other", 1700000000, "other");
  EXPECT_RUN(
      orrery({"merge", "other"}), 1, "",
      err("не удалось найти merge-base", "убедись, что у обеих веток есть связанная история"));
  EXPECT_FALSE(has_meta("MERGE_HEAD"));
  EXPECT_RUN(orrery({"merge", "--abort"}), 1, "",
             err("merge --abort: нет незавершённого слияния",
                 "нет .orrery/MERGE_HEAD или слияние уже завершено"));
  for (const char* name : {"../../HEAD", ""}) {
    EXPECT_RUN(orrery({"merge", name}), 1, "",
               err(std::string("ветка не найдена: ") + name,
                   "проверь имя или сделай fetch refs удалённого"));
  }
  EXPECT_RUN(orrery({"merge", "main"}), 0, "Уже на ветке main\n", "");
}

TEST_F(History, MergeFastForwardsAndMergesWithoutTouchingTheWorkingTree) {
  fork({{"a", "1\n2\n3\n"}, {"d/b", "b\n"}}, {{"a", "1\n2\nT\n"}, {"d/n", "n\n"}},
       {{"a", "M\n2\n3\n"}});
  const ObjectId ours = branch_tip(dir.path()), theirs = branch_tip(dir.path(), "topic");
  const auto before = tracked_bytes();
  RunResult merged = orrery({"merge", "topic"});
  const ObjectId made = branch_tip(dir.path());
  EXPECT_RUN(merged, 0, "Создан merge-коммит " + made + " (topic)\n", "");
  std::optional<Commit> commit = tip("main");
  ASSERT_TRUE(commit);
  EXPECT_EQ(commit->parents, (std::vector<ObjectId>{ours, theirs}));
  EXPECT_EQ(commit->author, "orrery");
  EXPECT_EQ(commit->message, "Слияние ветки topic");
  EXPECT_EQ(commit->tree, tree_of({{"a", "M\n2\nT\n"}, {"d/b", "b\n"}, {"d/n", "n\n"}}));
  auto after = tracked_bytes();
  after[".orrery/refs/heads/main"] = before.at(".orrery/refs/heads/main");
  EXPECT_EQ(after, before);
  EXPECT_FALSE(has_meta("MERGE_HEAD"));

  EXPECT_RUN(orrery({"merge", "topic"}), 0, "Текущая ветка уже содержит все коммиты topic\n", "");
  orrery({"checkout", "topic"});
  update_ref(Repository(dir.path()), "refs/remotes/topic", ours);  // the local name wins
  EXPECT_RUN(orrery({"merge", "main"}), 0, "Fast-forward: обновлён указатель refs/heads/topic\n",
             "");
  EXPECT_EQ(branch_tip(dir.path(), "topic"), made);
  EXPECT_EQ(read_text(file("a")), "1\n2\nT\n");
}

TEST_F(History, MergeConflictStopsUntilAbortRestoresEveryByte) {
  fork({{"f", "1\n2\n"}, {"g", "g\n"}}, {{"f", "1\nT\n"}}, {{"f", "1\nM\n"}, {"g", "G\n"}},
       "topic");
  ASSERT_EQ(orrery({"rm", "g"}).code, 0);  // topic deletes g, main changed it
  commit_all({}, "drop g");
  switch_to("main");
  const auto before = tracked_bytes();
  EXPECT_RUN(orrery({"merge", "topic"}), 1, "",
             err("merge завершился конфликтами",
                 "разреши конфликты, затем 'orrery add ...' и 'orrery commit'; либо orrery merge "
                 "--abort") +
                 "  конфликт: f\n  конфликт: g\n");
  EXPECT_EQ(meta("MERGE_HEAD"), branch_tip(dir.path(), "topic") + "\n");
  EXPECT_EQ(read_text(file("f")), "<<<<<<< ours\n1\nM\n=======\n1\nT\n>>>>>>> theirs\n");
  EXPECT_EQ(read_text(file("g")), "G\n");
  EXPECT_RUN(orrery({"merge", "topic"}), 1, "",
             err("слияние уже в процессе (конфликты или незавершённый merge)",
                 "разреши и закомить либо выполни orrery merge --abort"));
  EXPECT_RUN(orrery({"merge", "--abort"}), 0, "reset --hard\nСлияние прервано (merge --abort).\n",
             "");
  EXPECT_EQ(tracked_bytes(), before);
}

TEST_F(History, CherryPickAndRevertCommitTheChangeAndRewriteTheIndex) {
  fork({{"a", "1\n2\n3\n"}, {"b", "b\n"}}, {{"a", "1\n2\nT\n"}, {"n/c", "c\n"}},
       {{"a", "M\n2\n3\n"}});
  const ObjectId picked = branch_tip(dir.path(), "topic"), head = branch_tip(dir.path());
  RunResult result = orrery({"cherry-pick", "topic"});
  EXPECT_RUN(
      result, 0,
      "Переключено на ветку «main»\ncherry-pick: создан коммит " + branch_tip(dir.path()) + "\n",
      "");
  std::optional<Commit> made = tip("main");
  ASSERT_TRUE(made);
  EXPECT_EQ(made->parents, std::vector<ObjectId>{head});
  EXPECT_EQ(made->author, "tester");
  EXPECT_EQ(made->message, "cherry-pick " + picked.substr(0, 8) + ": topic change");
  const FileSet files{{"a", "M\n2\nT\n"}, {"b", "b\n"}, {"n/c", "c\n"}};
  EXPECT_EQ(made->tree, tree_of(files));
  Index expected;
  for (const auto& [path, text] : files) {
    EXPECT_EQ(read_text(file(path)), text);
    WorkingStat stat = stat_working_file(file(path));
    expected[path] = {blob_id(text), stat.size, stat.mtime, stat.mode};
  }
  EXPECT_EQ(meta("index"), serialize_index(expected));

  const ObjectId pick = branch_tip(dir.path());
  RunResult reverted =
      run_orrery({"revert", "HEAD"}, {dir.path(), "", {{"USER", k_unset}, {"USERNAME", k_unset}}});
  EXPECT_EQ(reverted.code, 0) << reverted.err;
  EXPECT_EQ(tip("main")->author, "orrery");
  EXPECT_EQ(tip("main")->message, "revert " + pick.substr(0, 8) + ": " + made->message);
  EXPECT_EQ(read_text(file("a")), "M\n2\n3\n");
  EXPECT_FALSE(path_exists(file("n/c")));

  const ObjectId root = *tip("topic")->parents.begin();
  EXPECT_RUN(orrery({"revert", root}), 1, "", err("не удалось выполнить revert"));
}

TEST_F(History, PickConflictsLeaveMarkersAndTheBranch) {
  fork({{"f", "1\n2\n"}}, {{"f", "1\nT\n"}}, {{"f", "1\nM\n"}});
  const ObjectId head = branch_tip(dir.path());
  EXPECT_RUN(orrery({"cherry-pick", "topic"}), 1, "",
             err("cherry-pick завершился конфликтами",
                 "разреши конфликты, затем запусти 'orrery add ...' и 'orrery commit -m \"...\"'") +
                 "  конфликт: f\n");
  EXPECT_EQ(branch_tip(dir.path()), head);
  EXPECT_EQ(read_text(file("f")), "<<<<<<< ours\n1\nM\n=======\n1\nT\n>>>>>>> theirs\n");

  EXPECT_RUN(orrery({"cherry-pick", "nope"}), 1, "", err("не удалось разрешить ревизию: nope"));
  orrery({"checkout", head});
  EXPECT_RUN(orrery({"revert", "HEAD"}), 1, "",
             err("HEAD не указывает на ветку (detached HEAD)", "сначала переключись на ветку"));
}

TEST_F(History, PickWritesNothingAHostileTreeNames) {
  commit({{"a", "1\n"}}, "first");
  Repository repo(dir.path());
  const ObjectId blob = write_object(repo.objects, "blob", "evil\n");
  const ObjectId inner = store_raw_tree(repo.objects, {{"100644", "blob", blob, "HEAD"}});
  const ObjectId tree = store_raw_tree(
      repo.objects, {{"100644", "blob", write_object(repo.objects, "blob", "1\n"), "a"},
                     {"40000", "tree", inner, ".orrery"},
                     {"100644", "blob", blob, ".."},
                     {"100644", "blob", blob, "x/y"}});
  const ObjectId evil = store_commit(repo.objects, tree, {branch_tip(dir.path())});
  const std::string head = meta("HEAD"), tip = branch_tip(dir.path());
  EXPECT_RUN(orrery({"cherry-pick", evil}), 1, "",
             err("Unsafe path in tree: ..",
                 "репозиторий повреждён: восстанови названный файл из резервной копии или клона"));
  EXPECT_EQ(meta("HEAD"), head);
  EXPECT_EQ(branch_tip(dir.path()), tip);
  EXPECT_FALSE(path_exists(file("x/y")));
}

// topic: t1 (changes f's last line), t2 (adds h); main changed f's last line too.
class Rebase : public History {
 protected:
  void SetUp() override {
    History::SetUp();
    fork({{"f", "1\n2\n3\n"}, {"g", "g\n"}}, {{"f", "1\n2\nT\n"}}, {{"f", "1\n2\nM\n"}}, "topic");
    t1 = branch_tip(dir.path(), "topic");
    commit_all({{"h", "h\n"}}, "t2");
    t2 = branch_tip(dir.path(), "topic");
  }
  ObjectId t1, t2;
  const std::string switched = "Переключено на ветку «topic»\n";
};

TEST_F(Rebase, ConflictStopsThenContinueReplaysTheRest) {
  const ObjectId onto = branch_tip(dir.path());
  EXPECT_RUN(orrery({"rebase", "main"}), 1, switched,
             err("rebase: конфликт на коммите " + t1,
                 "разреши конфликты, orrery add …, затем orrery rebase --abort | orrery rebase "
                 "--continue") +
                 "  конфликт: f\n");
  EXPECT_EQ(list_files(file(".orrery/rebase-merge")),
            (std::vector<std::string>{"head-name", "onto", "orig-head", "orig-index", "todo"}));
  EXPECT_EQ(meta("rebase-merge/head-name") + meta("rebase-merge/onto") +
                meta("rebase-merge/orig-head") + meta("rebase-merge/todo"),
            "refs/heads/topic\n" + onto + "\n" + t2 + "\n" + t1 + "\n" + t2 + "\n");
  EXPECT_RUN(orrery({"rebase", "x"}), 1, "",
             err("rebase уже выполняется", "orrery rebase --continue или orrery rebase --abort"));

  write_text(file("f"), "1\n2\nMT\n");
  orrery({"add", "f"});
  EXPECT_RUN(orrery({"rebase", "--continue"}), 0,
             switched + switched + switched + "rebase: готово\n", "");
  std::optional<Commit> top = tip("topic");
  ASSERT_TRUE(top);
  EXPECT_EQ(top->message, "cherry-pick " + t2.substr(0, 8) + ": t2");
  EXPECT_EQ(top->tree, tree_of({{"f", "1\n2\nMT\n"}, {"g", "g\n"}, {"h", "h\n"}}));
  std::optional<Commit> first = read_commit(Repository(dir.path()).objects, top->parents.at(0));
  EXPECT_EQ(first->message, "cherry-pick " + t1.substr(0, 8) + ": topic change");
  EXPECT_EQ(first->parents, std::vector<ObjectId>{onto});
  EXPECT_FALSE(has_meta("rebase-merge"));
  EXPECT_EQ(read_text(file("h")), "h\n");
}

TEST_F(Rebase, AbortAfterAConflictRestoresEveryByte) {
  const auto before = tracked_bytes();
  EXPECT_EQ(orrery({"rebase", "main"}).code, 1);
  EXPECT_RUN(orrery({"rebase", "--abort"}), 0,
             "reset --hard\nПеребазирование отменено (rebase --abort).\n", "");
  EXPECT_EQ(tracked_bytes(), before);
  EXPECT_FALSE(has_meta("rebase-merge"));
}

TEST_F(Rebase, RefusesBadArgumentsAndHasNothingToDoOnItsUpstream) {
  TempDir elsewhere;  // arguments are checked before the repository is looked for
  EXPECT_RUN(orrery_in(elsewhere.path(), {"rebase", "--abort", "main"}), 1, "",
             err("лишние аргументы", "orrery rebase --abort  или  orrery rebase --continue"));
  EXPECT_RUN(orrery({"rebase", "nope"}), 1, "", err("не удалось разрешить апстрим: nope"));
  EXPECT_RUN(orrery({"rebase", "--abort"}), 1, "",
             err("rebase --abort: нет незавершённого rebase", "нет каталога .orrery/rebase-merge"));
  EXPECT_RUN(orrery({"rebase", "topic"}), 0, "Уже на апстриме\n", "");
  orrery({"checkout", "-b", "behind", "topic~1"});
  EXPECT_RUN(orrery({"rebase", "topic"}), 0, "Уже на апстриме\n", "");
  EXPECT_FALSE(has_meta("rebase-merge"));
}

// Every write of the store and of the working tree ends in a rename: the
// rebase is killed at one in every ORRERY_KILL_STRIDE of them (default 6;
// 1 tries them all, about 40), and what it leaves must be either the old
// branch or a rebase that both --continue and --abort complete.
TEST_F(History, RebaseKilledAtAnyWriteLeavesAStateThatCompletes) {
  if (run_program("strace", {"-o", "/dev/null", "true"}).code != 0) {
    GTEST_SKIP() << "strace cannot trace processes here";
  }
  fork({{"f", "1\n2\n3\n"}, {"g", "g\n"}}, {{"g", "G\n"}}, {{"f", "1\n2\nM\n"}}, "topic");
  commit_all({{"h", "h\n"}}, "t2");
  const ObjectId orig = branch_tip(dir.path(), "topic"), onto = branch_tip(dir.path());
  const ObjectId done = tree_of({{"f", "1\n2\nM\n"}, {"g", "G\n"}, {"h", "h\n"}});
  const auto tip_tree = [](const std::string& root) {
    std::optional<Commit> c = read_commit(Repository(root).objects, branch_tip(root, "topic"));
    return c ? c->tree : "";
  };
  const char* stride_text = std::getenv("ORRERY_KILL_STRIDE");
  const int stride = stride_text ? std::max(1, std::atoi(stride_text)) : 6;
  int n = 1;
  for (; n < 200; n += stride) {
    TempDir copy, other;
    run_program("cp", {"-a", dir.path() + "/.", copy.path()});
    RunResult killed = run_program(
        "strace",
        {"-f", "-o", "/dev/null", "-e", "trace=rename", "-e",
         "inject=rename:signal=KILL:when=" + std::to_string(n), ORRERY_BINARY, "rebase", "main"},
        // LeakSanitizer cannot run under a tracer.
        {copy.path(), "", {{"USER", "tester"}, {"ASAN_OPTIONS", "detect_leaks=0"}}});
    for (const std::string& ref : list_files(copy / ".orrery/refs")) {
      if (ref.find(".tmp") != std::string::npos) continue;
      EXPECT_TRUE(is_commit(Repository(copy.path()).objects,
                            read_text(copy / (".orrery/refs/" + ref)).substr(0, 64)))
          << "kill " << n << ": " << ref;
    }
    if (killed.code == 0) {
      EXPECT_EQ(tip_tree(copy.path()), done);
      EXPECT_RUN(orrery_in(copy.path(), {"status", "--short"}), 0, "", "");
      break;
    }
    remove_path(copy / ".orrery/lock");  // as the user of a killed process would
    if (!path_exists(copy / ".orrery/rebase-merge/head-name")) {
      EXPECT_TRUE(branch_tip(copy.path(), "topic") == orig || tip_tree(copy.path()) == done) << n;
      continue;
    }
    run_program("cp", {"-a", copy.path() + "/.", other.path()});
    EXPECT_EQ(orrery_in(copy.path(), {"rebase", "--continue"}).code, 0) << n;
    EXPECT_EQ(tip_tree(copy.path()), done) << n;
    EXPECT_EQ(
        first_parent_distance(Repository(copy.path()), branch_tip(copy.path(), "topic"), onto), 2u)
        << n;
    EXPECT_EQ(orrery_in(other.path(), {"rebase", "--abort"}).code, 0) << n;
    EXPECT_EQ(branch_tip(other.path(), "topic"), orig) << n;
  }
  EXPECT_TRUE(n > 20 && n < 200) << n;  // stopped by the run that was not killed
}

}  // namespace
}  // namespace testing_support
