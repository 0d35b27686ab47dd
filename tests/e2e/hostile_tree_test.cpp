// Trees built by hand with entries no honest commit has: every command that
// writes working files from objects must refuse them before writing anything,
// inside the working tree or outside it.

#include <unistd.h>

#include "store/codec.h"
#include "support/repo_builder.h"

namespace testing_support {
namespace {

class HostileTree : public OrreryTest {
 protected:
  void SetUp() override {
    root = dir / "repo";
    ensure_directory(root);
    ASSERT_EQ(orrery_in(root, {"init"}).code, 0);
    base = commit_snapshot(root, {{"ok.txt", "fine\n"}}, "honest");
  }

  ObjectId tree(const Tree& entries) {
    Repository repo(root);
    return write_object(repo.objects, "tree", serialize_tree(entries));
  }
  TreeEntry file_entry(const std::string& name, const std::string& content) {
    Repository repo(root);
    return {"100644", "blob", write_object(repo.objects, "blob", content), name};
  }
  static TreeEntry dir_entry(const std::string& name, const ObjectId& id) {
    return {"40000", "tree", id, name};
  }
  // A commit whose tree holds a harmless file first, then the hostile entry.
  ObjectId hostile_commit(const TreeEntry& entry) {
    Repository repo(root);
    return store_commit(repo.objects, tree({file_entry("a-first.txt", "written?\n"), entry}),
                        {base}, "hostile");
  }

  // Everything below the temporary directory except the object store, so a
  // write anywhere (the repository's metadata included) shows up.
  std::vector<std::string> snapshot() {
    std::vector<std::string> files;
    for (const std::string& path : list_files(dir.path())) {
      if (path.rfind("repo/.orrery/objects/", 0) != 0)
        files.push_back(path + "=" + read_text(dir / path));
    }
    return files;
  }

  void expect_refused(const ObjectId& commit, const std::string& name) {
    Repository repo(root);
    update_ref(repo, "refs/heads/evil", commit);
    const std::vector<std::string> before = snapshot();
    const std::string error = "orrery: ошибка: Unsafe path in tree: " + name + "\n";
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"checkout", commit},
                                               {"checkout", "evil"},
                                               {"switch", "evil"},
                                               {"checkout", "-b", "side", "evil"},
                                               {"reset", "--hard", commit},
                                               {"reset", "--mixed", commit},
                                               {"restore", "--source", commit, "ok.txt"}}) {
      SCOPED_TRACE(args[0] + " " + args[1]);
      RunResult result = run_orrery(args, {root, "", {}});
      EXPECT_EQ(result.code, 1);
      EXPECT_EQ(result.out, "");
      EXPECT_EQ(result.err.substr(0, error.size()), error);
      EXPECT_EQ(snapshot(), before);
    }
  }

  std::string root;
  ObjectId base;
};

TEST_F(HostileTree, UnsafeNamesAreRefusedBeforeAnyWrite) {
  const ObjectId escape = tree({file_entry("escape.txt", "outside\n")});
  const ObjectId fake_head = tree({file_entry("HEAD", "ref: refs/heads/evil\n")});
  const std::vector<TreeEntry> entries = {
      dir_entry("..", escape),         file_entry("/abs", "x\n"),
      dir_entry(".orrery", fake_head), dir_entry(".ORRERY", fake_head),
      dir_entry(".Git", fake_head),    file_entry("a/b", "x\n"),
      file_entry("a\\b", "x\n"),       file_entry("", "x\n"),
  };
  for (const TreeEntry& entry : entries) {
    SCOPED_TRACE("entry " + entry.path);
    expect_refused(hostile_commit(entry), entry.path);
  }
  EXPECT_FALSE(path_exists(dir / "escape.txt"));
  EXPECT_FALSE(path_exists(dir / "abs"));
}

TEST_F(HostileTree, SelfContainingTreeIsRefused) {
  // Content addressing cannot make such a tree; a damaged or forged store can.
  Repository repo(root);
  const std::string fake_id(64, 'c');
  const std::string content = serialize_tree({dir_entry("loop", fake_id)});
  ASSERT_TRUE(write_raw_object(repo.objects, fake_id, compress_object("tree", content)));
  expect_refused(hostile_commit(dir_entry("loop", fake_id)), "loop");
}

TEST_F(HostileTree, NestingDeeperThanTheLimitIsRefused) {
  // Written straight to the object files: the store's lock and temporary
  // files would triple the cost of three thousand writes.
  ObjectId chain = tree({file_entry("bottom.txt", "deep\n")});
  for (int level = 0; level < 3000; ++level) {
    const std::string content = serialize_tree({dir_entry("d", chain)});
    chain = object_hash("tree", content);
    write_text(loose_object_path(root, chain), compress_object("tree", content));
  }
  expect_refused(hostile_commit(dir_entry("d", chain)), "d");
  EXPECT_FALSE(path_exists(root + "/d"));
}

TEST_F(HostileTree, SymbolicLinkWhereADirectoryGoesIsNotFollowed) {
  ensure_directory(dir / "elsewhere");
  ASSERT_EQ(::symlink((dir / "elsewhere").c_str(), (root + "/sub").c_str()), 0);
  ObjectId commit = hostile_commit(dir_entry("sub", tree({file_entry("f.txt", "x\n")})));
  RunResult result = run_orrery({"checkout", commit}, {root, "", {}});
  EXPECT_RUN(result, 1, "", "orrery: ошибка: Refusing to write through a symbolic link: sub\n");
  EXPECT_EQ(list_files(dir / "elsewhere"), std::vector<std::string>{});
  EXPECT_FALSE(path_exists(root + "/a-first.txt"));
}

}  // namespace
}  // namespace testing_support
