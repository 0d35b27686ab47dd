#include "worktree/tree_builder.h"

#include <gtest/gtest.h>

#include "store/repo.h"
#include "support/test_support.h"

namespace {

using testing_support::TempDir;

struct TreeBuilderTest : ::testing::Test {
  TempDir dir;
  Repository repo{dir.path()};
  ObjectId blob_a = write_object(repo.objects, "blob", "a");
  ObjectId blob_b = write_object(repo.objects, "blob", "b");

  Tree tree(const ObjectId& id) {
    std::optional<Tree> read = read_tree(repo.objects, id);
    EXPECT_TRUE(read.has_value()) << id;
    return read.value_or(Tree{});
  }
  static std::vector<std::string> names(const Tree& tree) {
    std::vector<std::string> out;
    for (const TreeEntry& entry : tree) out.push_back(entry.type + " " + entry.path);
    return out;
  }
};

TEST_F(TreeBuilderTest, OrdersEntriesByNameNotByFullPath) {
  // "a-b/x" < "a.txt" < "a/x" as paths, but the entry names sort a, a-b, a.txt.
  PathMap paths{{"a-b/x", blob_a}, {"a.txt", blob_b}, {"a/x", blob_a}};
  EXPECT_EQ(names(tree(build_tree(repo.objects, paths, ""))),
            (std::vector<std::string>{"tree a", "tree a-b", "blob a.txt"}));
}

TEST_F(TreeBuilderTest, WritesTheSameBytesAsAHandBuiltTree) {
  ObjectId sub =
      write_object(repo.objects, "tree", serialize_tree({{"100644", "blob", blob_b, "y"}}));
  Tree expected{{"100644", "blob", blob_a, "x"}, {"40000", "tree", sub, "z"}};
  EXPECT_EQ(build_tree(repo.objects, {{"x", blob_a}, {"z/y", blob_b}}, ""),
            write_object(repo.objects, "tree", serialize_tree(expected)));
}

TEST_F(TreeBuilderTest, BuildsOnlyTheNamedDirectory) {
  PathMap paths{{"a/b.txt", blob_a}, {"a/c/d.txt", blob_b}, {"ab/x", blob_a}, {"a", blob_b}};
  EXPECT_EQ(names(tree(build_tree(repo.objects, paths, "a"))),
            (std::vector<std::string>{"blob b.txt", "tree c"}));
}

TEST_F(TreeBuilderTest, AnEmptySelectionWritesTheEmptyTree) {
  ObjectId empty = build_tree(repo.objects, {}, "");
  EXPECT_EQ(read_object(repo.objects, empty)->data, "[]");
  EXPECT_EQ(build_tree(repo.objects, {{"a", blob_a}}, "missing"), empty);
}

}  // namespace
