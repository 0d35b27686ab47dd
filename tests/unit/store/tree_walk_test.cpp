#include "store/tree_walk.h"

#include <gtest/gtest.h>

#include "store/repo.h"
#include "support/test_support.h"

using testing_support::TempDir;

namespace {

class TreeWalkTest : public ::testing::Test {
 protected:
  ObjectId blob(const std::string& content) { return write_object(store, "blob", content); }
  ObjectId tree(const Tree& entries) {
    return write_object(store, "tree", serialize_tree(entries));
  }
  static TreeEntry file(const std::string& name, const ObjectId& id) {
    return {"100644", "blob", id, name};
  }
  static TreeEntry dir(const std::string& name, const ObjectId& id) {
    return {"40000", "tree", id, name};
  }

  std::string refusal(const ObjectId& root) {
    try {
      PathMap map;
      flatten_tree(store, root, "", map);
    } catch (const std::runtime_error& e) {
      return e.what();
    }
    return "accepted";
  }

  TempDir tmp;
  ObjectStore store{tmp.path()};
};

TEST_F(TreeWalkTest, FlattensNestedTreesInStoredOrder) {
  ObjectId a = blob("a"), b = blob("b");
  ObjectId sub = tree({file("x", a), {"160000", "commit", b, "skipped"}});
  ObjectId root = tree({file("top", b), dir("d", sub), dir("gone", std::string(64, '9'))});
  PathMap map;
  flatten_tree(store, root, "", map);
  EXPECT_EQ(map, (PathMap{{"d/x", a}, {"top", b}}));
  PathMap prefixed;
  flatten_tree(store, root, "pre", prefixed);
  EXPECT_EQ(prefixed, (PathMap{{"pre/d/x", a}, {"pre/top", b}}));
  PathMap none;
  flatten_tree(store, a, "", none);  // a blob is not a tree
  EXPECT_TRUE(none.empty());
}

TEST_F(TreeWalkTest, RefusesNamesThatWouldLeaveTheWorkingTree) {
  ObjectId a = blob("a");
  for (std::string name : {"..", "/abs", ".orrery", ".ORRERY", ".Git", "a/b", "a\\b", "C:x", ""}) {
    EXPECT_EQ(refusal(tree({file(name, a)})), "Unsafe path in tree: " + name) << name;
  }
  // The message is a C string: it ends at the NUL.
  EXPECT_EQ(refusal(tree({file(std::string("nul\0byte", 8), a)})), "Unsafe path in tree: nul");
  EXPECT_EQ(refusal(tree({file(".orreryx", a), file("..a", a)})), "accepted");
}

TEST(IsSafeTreePath, RefusesEscapesAndMetadata) {
  for (const char* path : {"a.txt", "dir/sub/a.txt", ".orreryignore", "x.orrery"}) {
    EXPECT_TRUE(is_safe_tree_path(path)) << path;
  }
  for (const char* path : {"", "../a", "/etc/passwd", ".orrery/HEAD", "d/.GIT/config", ".Orrery",
                           "a//b", "a\\b", "dir/"}) {
    EXPECT_FALSE(is_safe_tree_path(path)) << path;
  }
}

}  // namespace
