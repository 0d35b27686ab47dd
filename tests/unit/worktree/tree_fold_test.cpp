#include "worktree/internal/tree_fold.h"

#include <gtest/gtest.h>

#include "store/codec.h"

namespace {

TEST(HashFoldedTree, EqualsTheIdOfTheSerializedTree) {
  const std::string id(64, 'c');
  const std::vector<FoldEntry> cases[] = {
      {},
      {{"a.txt", id, false}, {"dir", id, true}},
      {{"файл", id, false}},     // non-ASCII: the writer's way
      {{"quo\"te", id, false}},  // needs escaping
      {{"tab\there", "odd id", true}},
  };
  std::string buffer;
  for (const auto& entries : cases) {
    EXPECT_EQ(hash_folded_tree(entries, buffer),
              object_hash("tree", serialize_tree(to_tree(entries))));
  }
}

TEST(FoldTrees, HandsEveryDirectoryToTheSinkBeforeItsParent) {
  const std::string a(64, 'a'), b(64, 'b');
  const PathIds paths{{"x/y/f", a}, {"x/g", b}, {"z", a}};
  std::vector<std::string> order;
  fold_trees(paths, "", [&](const std::string& dir, const std::vector<FoldEntry>& entries) {
    std::string line = dir + ":";
    for (const FoldEntry& e : entries) line.append(" ").append(e.name).append(e.is_tree ? "/" : "");
    order.push_back(line);
    return std::string(64, '0' + static_cast<char>(order.size()));
  });
  EXPECT_EQ(order, (std::vector<std::string>{"x/y: f", "x: g y/", ": x/ z"}));
}

}  // namespace
