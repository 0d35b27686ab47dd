#include "hubd/object_check.h"

#include <gtest/gtest.h>

#include "hub_test_util.h"

namespace {

using testing_support::make_object;
using testing_support::StoredObject;

// An object whose canonical bytes are given whole, so that they can lie.
StoredObject raw_object(const std::string& canonical) {
  return {sha256_hex(canonical), zlib_compress(canonical)};
}

TEST(ObjectChecker, AcceptsSoundObjectsWithTheirLinks) {
  ObjectChecker checker(1 << 20);
  std::string problem;
  const StoredObject blob = make_object("blob", "hello");
  const StoredObject tree = make_object("tree", serialize_tree({{"100644", "blob", blob.id, "a"}}));
  const StoredObject commit =
      make_object("commit", serialize_commit({tree.id, {blob.id, tree.id}, "me", "m", 1}));
  EXPECT_EQ(checker.check(blob.id, blob.stored, problem)->type, "blob");
  ASSERT_EQ(checker.check(tree.id, tree.stored, problem)->links.size(), 1u);
  std::optional<CheckedObject> checked = checker.check(commit.id, commit.stored, problem);
  ASSERT_TRUE(checked) << problem;
  ASSERT_EQ(checked->links.size(), 3u);
  EXPECT_EQ(checked->links[0].id, tree.id);
  EXPECT_EQ(checked->links[0].type, "tree");
  EXPECT_EQ(checked->links[2].type, "commit");
}

TEST(ObjectChecker, RefusesEachKindOfDamage) {
  const std::string id = std::string(64, 'a');
  const StoredObject blob = make_object("blob", "hello");
  struct Case {
    const char* what;
    StoredObject object;
  } cases[] = {
      {"bytes after the stream", {blob.id, blob.stored + "x"}},
      {"empty", {blob.id, ""}},
      {"not zlib", {blob.id, "hello"}},
      {"unknown type", raw_object(std::string("tag 1\0x", 7))},
      {"length too long", raw_object(std::string("blob 2\0x", 8))},
      {"length too short", raw_object(std::string("blob 1\0xy", 9))},
      {"leading zero", raw_object(std::string("blob 01\0x", 9))},
      {"signed length", raw_object(std::string("blob +1\0x", 9))},
      {"no NUL", raw_object("blob 1 x")},
      {"over the cap", make_object("blob", std::string(2000, 'x'))},
      {"tree entry ..", make_object("tree", serialize_tree({{"40000", "tree", id, ".."}}))},
      {"tree entry with /", make_object("tree", serialize_tree({{"100644", "blob", id, "a/b"}}))},
      {"tree upper-case id",
       make_object("tree", serialize_tree({{"100644", "blob", std::string(64, 'A'), "a"}}))},
      {"tree entry type", make_object("tree", serialize_tree({{"100644", "commit", id, "a"}}))},
      {"tree not JSON", make_object("tree", "[{")},
      {"tree not an array of objects", make_object("tree", "[1]")},
      {"commit without tree", make_object("commit", "{\"author\":\"a\"}")},
      {"commit short parent",
       make_object("commit", "{\"parents\":[\"ab\"],\"tree\":\"" + id + "\"}")},
  };
  ObjectChecker checker(1024);
  for (const Case& c : cases) {
    std::string problem;
    EXPECT_FALSE(checker.check(c.object.id, c.object.stored, problem)) << c.what;
    EXPECT_FALSE(problem.empty()) << c.what;
  }
  std::string problem;
  EXPECT_TRUE(checker.check(blob.id, blob.stored, problem)) << "state left by a refusal";
}

TEST(SplitTransferStream, StopsAtTheFirstMalformedRecord) {
  const StoredObject blob = make_object("blob", "x");
  const std::string good = testing_support::transfer_stream({blob});
  ASSERT_TRUE(split_transfer_stream(good + good + "\ntrailing"));
  EXPECT_EQ(split_transfer_stream(good)->at(0).stored, blob.stored);
  EXPECT_EQ(split_transfer_stream("")->size(), 0u);
  for (const std::string& bad :
       {good + "D " + blob.id + " " + blob.id + " 1 1\nx", good + "F abc 1 1\nx",
        good.substr(0, good.size() - 1), "F " + blob.id + " 1\nx", "F " + blob.id + " 01 5\nx",
        "F " + blob.id + " 1 1"}) {
    EXPECT_FALSE(split_transfer_stream(bad)) << bad;
  }
}

}  // namespace
