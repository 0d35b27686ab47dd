#include "store/revision.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>

#include "pack/pack_writer.h"
#include "store/errors.h"
#include "store/fs.h"
#include "store/refs.h"
#include "store/repo.h"
#include "support/test_support.h"

using testing_support::TempDir;
using testing_support::write_text;

namespace {

class RevisionTest : public ::testing::Test {
 protected:
  ObjectId commit(std::vector<ObjectId> parents, const std::string& message = "m") {
    return write_object(repo.objects, "commit",
                        serialize_commit({tree, std::move(parents), "t", message, 1}));
  }
  void SetUp() override {
    create_repository(repo);
    tree = write_object(repo.objects, "tree", "[]");
    c1 = commit({}, "1");
    c2 = commit({c1}, "2");
    c3 = commit({c2}, "3");
    update_ref(repo, "refs/heads/main", c3);
  }

  TempDir dir;
  Repository repo{dir.path()};
  ObjectId tree, c1, c2, c3;
};

TEST_F(RevisionTest, ResolvesTheRevisionForms) {
  write_text(dir / ".orrery/refs/remotes/origin/main", c1 + "\n");
  update_ref(repo, "refs/tags/v1", c2);
  struct Case {
    std::string revision;
    std::optional<ObjectId> expected;
  } cases[] = {
      {"HEAD", c3},
      {"HEAD~0", c3},
      {"HEAD~2", c1},
      {"HEAD^^", c1},
      {"main^", c2},
      {"~1", c2},
      {"^", c2},
      {"~", std::nullopt},
      {"HEAD~", std::nullopt},
      {"HEAD~1^", std::nullopt},
      {"HEAD~3", std::nullopt},
      {"v1", c2},
      {"v1~1", c1},
      {"origin/main", c1},
      {"nope", std::nullopt},
      {c2, c2},
      {std::string(64, 'e'), std::string(64, 'e')},
  };
  for (const Case& c : cases)
    EXPECT_EQ(resolve_revision(repo, c.revision), c.expected) << c.revision;
}

// Loose ids are planted as bare names: the lookup lists names, it never
// reads the objects. c1 lives in a pack only.
TEST_F(RevisionTest, ResolvesShortIdsToTheOneObjectTheyStartWith) {
  write_pack(repo.root);
  ASSERT_TRUE(remove_path(loose_object_path(repo.root, c1)));
  const std::string twin_a = "1234567a" + std::string(56, '0');
  const std::string twin_b = "1234567b" + std::string(56, '0');
  for (const std::string& id : {twin_a, twin_b}) write_text(loose_object_path(repo.root, id), "x");
  write_text(loose_object_path(repo.root, "89abcde" + std::string(57, '0')) + ".tmp", "x");
  update_ref(repo, "refs/heads/" + c3.substr(0, 7), c1);
  struct Case {
    std::string revision;
    std::optional<ObjectId> expected;
  } cases[] = {
      {c2.substr(0, 7), c2},           {c2.substr(0, 12), c2},
      {c2.substr(0, 63), c2},          {c2.substr(0, 12) + "~1", c1},
      {c1.substr(0, 9), c1},  // packed only
      {c3.substr(0, 7), c1},  // a branch of that name wins
      {c3.substr(0, 8), c3},  // both loose and packed
      {c2.substr(0, 6), std::nullopt}, {"1234567a", twin_a},
      {"89abcde", std::nullopt},  // not an object's name
      {"ABCDEF0", std::nullopt},       {"0000000", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(resolve_revision(repo, c.revision), c.expected) << c.revision;
  try {
    resolve_revision(repo, "1234567~1");
    ADD_FAILURE() << "no error for an ambiguous short id";
  } catch (const AmbiguousShortId& e) {
    EXPECT_EQ(e.prefix(), "1234567");
  }
}

TEST_F(RevisionTest, BranchHidesTagOfTheSameName) {
  update_ref(repo, "refs/tags/release", c1);
  update_ref(repo, "refs/heads/release", c2);
  EXPECT_EQ(resolve_name(repo, "release"), c2);
}

TEST_F(RevisionTest, FirstParentDistanceFollowsOnlyFirstParents) {
  ObjectId side = commit({c1}, "side");
  ObjectId merge = commit({c3, side}, "merge");
  EXPECT_EQ(first_parent_distance(repo, c3, c3), 0u);
  EXPECT_EQ(first_parent_distance(repo, merge, c1), 3u);
  EXPECT_EQ(first_parent_distance(repo, merge, side), std::nullopt);
  EXPECT_EQ(first_parent_distance(repo, c1, c3), std::nullopt);
  EXPECT_TRUE(is_ancestor(repo, side, merge));
  EXPECT_TRUE(is_ancestor(repo, c1, merge));
  EXPECT_TRUE(is_ancestor(repo, merge, merge));
  EXPECT_FALSE(is_ancestor(repo, merge, c1));
  EXPECT_FALSE(is_ancestor(repo, side, c3));
}

// Runs `body` on a thread with a small stack, where a recursive walk over a
// long history would overflow.
void run_on_small_stack(const std::function<void()>& body) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 256 * 1024);
  pthread_t thread;
  auto trampoline = [](void* arg) -> void* {
    (*static_cast<const std::function<void()>*>(arg))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, trampoline, const_cast<std::function<void()>*>(&body)),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

TEST_F(RevisionTest, WalksALongHistoryWithoutRecursion) {
  ObjectId tip = c1;
  {
    ObjectWriteBatch batch(repo.objects);  // one lock for all ten thousand writes
    for (int i = 0; i < 10000; ++i) tip = commit({tip}, std::to_string(i));
  }
  run_on_small_stack([&] {
    EXPECT_EQ(first_parent_distance(repo, tip, c1), 10000u);
    EXPECT_FALSE(is_ancestor(repo, c3, tip));
    EXPECT_TRUE(is_ancestor(repo, c1, tip));
    EXPECT_EQ(resolve_revision(repo, tip + "~10000"), c1);
  });
}

}  // namespace
