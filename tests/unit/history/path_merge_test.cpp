#include "history/path_merge.h"

#include <gtest/gtest.h>

#include <random>

#include "diff/engine.h"
#include "history/merge_base.h"
#include "history/text_merge.h"
#include "store/repo.h"
#include "support/repo_builder.h"

namespace {

using testing_support::FileSet;
using testing_support::list_files;
using testing_support::read_text;
using testing_support::store_commit;
using testing_support::store_raw_tree;
using testing_support::store_tree;
using testing_support::TempDir;

struct PathMergeTest : ::testing::Test {
  TempDir dir;
  Repository repo{dir.path()};

  // The per-path rules over three flattened trees, with no tree skipped.
  TreeMerge oracle(const ObjectId& b, const ObjectId& o, const ObjectId& t) {
    PathMap maps[3];
    std::set<std::string> paths;
    for (int side = 0; side < 3; ++side) {
      flatten_tree(repo.objects, std::vector{b, o, t}[side], "", maps[side]);
      for (const auto& entry : maps[side]) paths.insert(entry.first);
    }
    const auto text = [&](const std::string& id) {
      return id.empty() ? "" : read_object(repo.objects, id)->data;
    };
    TreeMerge out;
    for (const std::string& path : paths) {
      std::string id[3], result;
      for (int side = 0; side < 3; ++side)
        id[side] = maps[side].count(path) ? maps[side][path] : "";
      if (id[1] == id[2] || id[2] == id[0]) {
        result = id[1];
      } else if (id[1] == id[0]) {
        result = id[2];
      } else if (id[1].empty() || id[2].empty() || is_binary(text(id[0])) ||
                 is_binary(text(id[1])) || is_binary(text(id[2]))) {
        out.conflicts.push_back(path);
        continue;
      } else {
        TextMergeResult merged = merge_text(text(id[0]), text(id[1]), text(id[2]));
        result = blob_id(merged.content);
        if (merged.conflict) out.conflicts.push_back(path);
      }
      if (!result.empty()) out.merged[path] = result;
      if (result != id[1] && !result.empty()) out.changed.push_back(path);
      if (result.empty() && !id[1].empty()) out.removed.push_back(path);
    }
    return out;
  }
};

FileSet random_files(std::mt19937& rng) {
  static const char* const dirs[] = {"", "a/", "a/x/", "a/y/", "b/", "b/x/deep/"};
  static const std::string texts[] = {"1\n2\n3\n", "1\n2\n", "0\n1\n2\n3\n", "x",
                                      std::string("bin\0", 4)};
  FileSet files;
  for (int i = rng() % 12; i > 0; --i) {
    files[dirs[rng() % 6] + std::string("f") + std::to_string(rng() % 4)] = texts[rng() % 5];
  }
  return files;
}

// The files with some of another random set's paths dropped, replaced or extended.
FileSet edit_files(std::mt19937& rng, FileSet files) {
  if (rng() % 3 == 0) return files;
  for (auto& [path, text] : random_files(rng)) {
    const unsigned how = rng() % 3;
    if (how == 0) files.erase(path);
    if (how == 1) files[path] = text;
    if (how == 2 && files.count(path)) files[path] += "tail\n";
  }
  return files;
}

TEST_F(PathMergeTest, SkippingSharedSubtreesDecidesAsPathByPath) {
  ObjectWriteBatch batch(repo.objects);
  std::mt19937 rng(7);
  for (int round = 0; round < 100; ++round) {
    const FileSet base = random_files(rng);
    const FileSet ours = edit_files(rng, base);
    const FileSet theirs = rng() % 4 == 0 ? ours : edit_files(rng, base);
    const ObjectId b = store_tree(repo.objects, base);
    const ObjectId o = store_tree(repo.objects, ours);
    const ObjectId t = store_tree(repo.objects, theirs);
    TreeMerge expected = oracle(b, o, t);
    TreeMerge got = merge_trees(repo.objects, b, o, t, UnsafePaths::conflict);
    ASSERT_EQ(got.merged, expected.merged) << round;
    ASSERT_EQ(got.conflicts, expected.conflicts) << round;
    ASSERT_EQ(got.changed, expected.changed) << round;
    ASSERT_EQ(got.removed, expected.removed) << round;
    PathMap ours_files;
    flatten_tree(repo.objects, o, "", ours_files);
    got = merge_trees(repo.objects, b, o, t, UnsafePaths::conflict, ours_files);
    ASSERT_EQ(got.merged, expected.merged) << round;
    ASSERT_EQ(got.conflicts, expected.conflicts) << round;
  }
}

TEST_F(PathMergeTest, HostileNamesBecomeConflictsAndAreNeverWritten) {
  const ObjectId blob = write_object(repo.objects, "blob", "1\n");
  const ObjectId evil = store_raw_tree(repo.objects, {{"100644", "blob", blob, "config"}});
  const ObjectId base = store_tree(repo.objects, {{"f", "1\n2\n3\n"}});
  const ObjectId ours = store_tree(repo.objects, {{"f", "1\n2\nours\n"}});
  const ObjectId theirs = store_raw_tree(
      repo.objects, {{"100644", "blob", write_object(repo.objects, "blob", "1\n2\ntheirs\n"), "f"},
                     {"40000", "tree", evil, ".GIT"},
                     {"100644", "blob", blob, ".."},
                     {"100644", "blob", blob, "a/b"}});
  PathMergeOutcome got = merge_paths(repo, base, ours, theirs);
  EXPECT_EQ(got.conflicts, (std::vector<std::string>{"..", ".GIT/config", "a/b", "f"}));
  EXPECT_EQ(got.merged.size(), 1u);  // f, with markers
  EXPECT_EQ(list_files(dir.path()).size(), 1 + list_files(dir / ".orrery").size());
  EXPECT_EQ(read_text(dir / "f"),
            "<<<<<<< ours\n1\n2\nours\n=======\n1\n2\ntheirs\n>>>>>>> theirs\n");

  TreeMerge kept = merge_trees(repo.objects, base, ours, theirs, UnsafePaths::keep);
  EXPECT_EQ(kept.unsafe, (std::set<std::string>{"..", ".GIT/config", "a/b"}));
  EXPECT_EQ(kept.conflicts, std::vector<std::string>{"f"});
}

TEST_F(PathMergeTest, TreeThatContainsItselfIsRefused) {
  // Stored under a name that is not its hash, as a damaged store could.
  const std::string self(64, 'c');
  const std::string bytes =
      serialize_tree({{"40000", "tree", self, "loop"}, {"40000", "tree", self, "again"}});
  ASSERT_TRUE(
      write_raw_object(repo.objects, self,
                       *read_raw_object(repo.objects, write_object(repo.objects, "tree", bytes))));
  EXPECT_THROW(merge_trees(repo.objects, "", self, "", UnsafePaths::conflict), std::runtime_error);
}

TEST_F(PathMergeTest, MergeBaseFollowsTheLastParentFirst) {
  const ObjectId tree = store_tree(repo.objects, {{"f", "x"}});
  const ObjectId root = store_commit(repo.objects, tree);
  const ObjectId p1 = store_commit(repo.objects, tree, {root}, "p1");
  const ObjectId p2 = store_commit(repo.objects, tree, {root}, "p2");
  const ObjectId ours = store_commit(repo.objects, tree, {p1, p2}, "ours");
  const ObjectId theirs = store_commit(repo.objects, tree, {p1, p2}, "theirs");
  const ObjectId other = store_commit(repo.objects, tree, {}, "unrelated");
  const ObjectId broken = store_commit(repo.objects, tree, {std::string(64, 'f'), p1}, "broken");
  EXPECT_EQ(merge_base(repo, ours, theirs), p2);
  EXPECT_EQ(merge_base(repo, p1, ours), root);  // the walk from ours meets root through p2 first
  EXPECT_EQ(merge_base(repo, ours, p1), p1);
  EXPECT_EQ(merge_base(repo, ours, other), std::nullopt);
  EXPECT_EQ(merge_base(repo, p2, broken), root);
}

}  // namespace
