#include <filesystem>

#include "support/repo_builder.h"

namespace testing_support {
namespace {

using ResetRestore = HistoryTest;

// The index after a reset: every path of the tree with its blob id, and a
// stat that is either none or the working file's own (required after
// --hard, which leaves every file holding its blob).
void expect_reset_index(const std::string& root, const FileSet& files, bool stats_required) {
  const Index index = load_index(Repository(root));
  ASSERT_EQ(index.size(), files.size());
  for (const auto& [path, content] : files) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(index.count(path));
    const IndexEntry& entry = index.at(path);
    EXPECT_EQ(entry.hash, blob_id(content));
    const WorkingStat stat{entry.size, entry.mtime, entry.mode};
    if (stats_required || stat != WorkingStat{}) {
      EXPECT_EQ(stat, stat_working_file(root + "/" + path));
    }
  }
}

// A mixed reset keeps the stat the old index recorded for the same blob
// before the index's own second, and no other.
TEST_F(ResetRestore, MixedResetWithoutRevisionRebuildsIndexFromHead) {
  commit({{"a.txt", "1\n"}, {"d/b.txt", "b\n"}}, "first");
  Repository repo(dir.path());
  Index staged = load_index(repo);
  staged["a.txt"] = {blob_id("1\n"), 2, 5, 33188};
  staged["d/b.txt"] = {blob_id("staged\n"), 7, 5, 33188};
  staged["new.txt"] = {blob_id("new\n"), 4, 1, 33188};
  save_index(repo, staged);
  EXPECT_RUN(orrery({"reset"}), 0, "reset (индекс = HEAD)\n", "");
  EXPECT_EQ(load_index(repo), (Index{{"a.txt", {blob_id("1\n"), 2, 5, 33188}},
                                     {"d/b.txt", {blob_id("b\n"), 0, 0, 0}}}));
}

TEST_F(ResetRestore, SoftMixedAndHardMoveTheBranch) {
  ObjectId c1 = commit({{"a.txt", "1\n"}}, "first");
  ObjectId c2 = commit({{"a.txt", "2\n"}, {"b.txt", "b\n"}}, "second");
  std::string index_before = meta("index");

  EXPECT_RUN(orrery({"reset", "--soft", "HEAD~1"}), 0, "reset --soft\n", "");
  EXPECT_EQ(meta("refs/heads/main"), c1 + "\n");
  EXPECT_EQ(meta("index"), index_before);
  EXPECT_EQ(read_text(file("a.txt")), "2\n");

  EXPECT_RUN(orrery({"reset", c2}), 0, "reset --mixed\n", "");
  EXPECT_EQ(meta("refs/heads/main"), c2 + "\n");
  expect_reset_index(dir.path(), {{"a.txt", "2\n"}, {"b.txt", "b\n"}}, false);

  write_text(file(".orreryignore"), "*.log\nbuild/\n");
  write_text(file("keep.log"), "ignored\n");
  write_text(file("build/deep/out.o"), "built\n");
  write_text(file("junk/untracked.txt"), "x\n");
  EXPECT_RUN(orrery({"reset", "--hard", "HEAD^"}), 0, "reset --hard\n", "");
  EXPECT_EQ(meta("refs/heads/main"), c1 + "\n");
  EXPECT_EQ(read_text(file("a.txt")), "1\n");
  EXPECT_FALSE(path_exists(file("b.txt")));
  EXPECT_FALSE(path_exists(file("junk/untracked.txt")));
  EXPECT_TRUE(path_exists(file("junk")));  // empty directories stay
  EXPECT_EQ(read_text(file("keep.log")), "ignored\n");
  EXPECT_EQ(read_text(file("build/deep/out.o")), "built\n");  // an ignored directory is kept whole
  EXPECT_FALSE(path_exists(file(".orreryignore")));           // untracked and not ignored itself
  expect_reset_index(dir.path(), {{"a.txt", "1\n"}}, true);
  EXPECT_EQ(meta("logs/HEAD"), line(zero(), c1, "обновление: main") +
                                   line(c1, c2, "обновление: main") +
                                   line(c2, c1, "обновление: refs/heads/main") +
                                   line(c1, c2, "обновление: refs/heads/main") +
                                   line(c2, c1, "обновление: refs/heads/main"));

  write_text(file("a.txt"), "edited\n");
  EXPECT_RUN(orrery({"reset", "--hard"}), 0, "reset --hard\n", "");
  EXPECT_EQ(read_text(file("a.txt")), "1\n");
  EXPECT_EQ(meta("refs/heads/main"), c1 + "\n");
}

TEST_F(ResetRestore, DetachedHeadMovesItself) {
  ObjectId c1 = commit({{"a.txt", "1\n"}}, "first");
  ObjectId c2 = commit({{"a.txt", "2\n"}}, "second");
  orrery({"checkout", c2});
  EXPECT_RUN(orrery({"reset", "--soft", c1}), 0, "reset --soft\n", "");
  EXPECT_EQ(meta("HEAD"), c1 + "\n");
  EXPECT_EQ(meta("refs/heads/main"), c2 + "\n");
  std::string log = meta("logs/HEAD");
  EXPECT_EQ(log.substr(log.size() - line(c2, c1, "HEAD: обновление (detached)").size()),
            line(c2, c1, "HEAD: обновление (detached)"));
}

TEST_F(ResetRestore, ResetRefusalsTouchNothing) {
  EXPECT_RUN(orrery({"reset"}), 1, "",
             "orrery: ошибка: нет коммитов\n  подсказка: сливать пока не из чего индекс\n");
  EXPECT_RUN(orrery({"reset", "--hard"}), 1, "",
             "orrery: ошибка: нет коммитов\n  подсказка: сначала сделай первый коммит\n");
  commit({{"a.txt", "1\n"}}, "first");
  std::string index_before = meta("index");
  write_text(file("untracked.txt"), "stay\n");
  EXPECT_RUN(orrery({"reset", "--hard", "HEAD~3"}), 1, "",
             "orrery: ошибка: reset: не удалось разрешить ревизию: HEAD~3\n");
  EXPECT_EQ(meta("index"), index_before);
  EXPECT_EQ(read_text(file("untracked.txt")), "stay\n");
}

TEST_F(ResetRestore, RestoreFromIndexSourceAndStaged) {
  ObjectId c1 = commit({{"a.txt", "1\n"}, {"b.txt", "b1\n"}}, "first");
  commit({{"a.txt", "2\n"}, {"b.txt", "b1\n"}}, "second");
  Repository repo(dir.path());
  Index index = load_index(repo);
  write_object(repo.objects, "blob", "staged\n");
  index["a.txt"].hash = blob_id("staged\n");
  index["added.txt"] = {write_object(repo.objects, "blob", "added\n"), 6, 5, 33188};
  save_index(repo, index);
  write_text(file("a.txt"), "worktree edit\n");

  EXPECT_RUN(orrery({"restore", "a.txt"}), 0, "", "");
  EXPECT_EQ(read_text(file("a.txt")), "staged\n");  // the index wins over HEAD

  std::filesystem::remove(file("b.txt"));
  EXPECT_RUN(orrery({"restore", "--source", c1, "b.txt"}), 0, "", "");
  EXPECT_EQ(read_text(file("b.txt")), "b1\n");
  EXPECT_EQ(meta("index"), serialize_index(index));  // untouched without --staged

  EXPECT_RUN(orrery({"restore", "--staged", "a.txt", "added.txt"}), 0, "", "");
  Index after = load_index(repo);
  EXPECT_EQ(after.count("added.txt"), 0u);
  EXPECT_EQ(after["a.txt"].hash, blob_id("2\n"));
  EXPECT_EQ(after["a.txt"].size, index["a.txt"].size);  // the stat stays
  EXPECT_EQ(after["a.txt"].mtime, index["a.txt"].mtime);

  EXPECT_RUN(orrery({"restore", "--staged", "--source", "HEAD~1", "a.txt"}), 0, "", "");
  EXPECT_EQ(load_index(repo)["a.txt"].hash, blob_id("1\n"));
}

TEST_F(ResetRestore, RestoreRefusals) {
  commit({{"a.txt", "1\n"}}, "first");
  EXPECT_RUN(orrery({"restore", "nowhere.txt"}), 1, "",
             "orrery: ошибка: неизвестный путь: nowhere.txt\n");
  EXPECT_RUN(orrery({"restore", "--source", "nope", "a.txt"}), 1, "",
             "orrery: ошибка: не удалось разрешить ревизию: nope\n");

  // An index that loads can still name a path no checkout may write.
  Repository repo(dir.path());
  Index index = load_index(repo);
  index["sub/.git/config"].hash = blob_id("1\n");
  index["gone.txt"].hash = std::string(64, 'a');
  save_index(repo, index);
  for (const std::string path : {"sub/.git/config", "gone.txt"}) {
    EXPECT_RUN(run_orrery({"restore", path}, {dir.path(), "", {}}), 1, "",
               "orrery: ошибка: не удалось восстановить " + path + "\n");
  }
  EXPECT_FALSE(path_exists(dir / "sub"));
}

}  // namespace
}  // namespace testing_support
