#include <gtest/gtest.h>

#include "store/fs.h"
#include "store/refs.h"
#include "store/repo.h"
#include "support/test_support.h"

namespace {

using testing_support::TempDir;

struct RefsFixture : ::testing::Test {
  TempDir dir;
  Repository repo{dir.path()};

  void SetUp() override { create_repository(repo); }

  ObjectId commit_with(std::string message, std::vector<ObjectId> parents = {}) {
    Commit commit{write_object(repo.objects, "tree", "[]"), std::move(parents), "t",
                  std::move(message), 1};
    return write_object(repo.objects, "commit", serialize_commit(commit));
  }
  std::string reflog() {
    std::string path = orrery_path(repo, "logs/HEAD");
    return ::path_exists(path) ? read_file(path) : "";
  }
};

TEST_F(RefsFixture, UpdateRefIfCreatesAMissingReferenceWhenNoneIsExpected) {
  ObjectId first = commit_with("one");
  EXPECT_TRUE(update_ref_if(repo, "refs/heads/main", first, std::nullopt));
  EXPECT_EQ(read_ref(repo.root, "refs/heads/main"), first);
  EXPECT_EQ(reflog(), std::string(k_zero_id) + " " + first + "\tобновление: main\n");
}

TEST_F(RefsFixture, UpdateRefIfMovesAReferenceThatHoldsTheExpectedValue) {
  ObjectId first = commit_with("one");
  ObjectId second = commit_with("two", {first});
  update_ref(repo, "refs/heads/main", first);
  EXPECT_TRUE(update_ref_if(repo, "refs/heads/main", second, first));
  EXPECT_EQ(read_ref(repo.root, "refs/heads/main"), second);
}

TEST_F(RefsFixture, UpdateRefIfLeavesAMovedReferenceAndTheReflogAlone) {
  ObjectId first = commit_with("one");
  ObjectId theirs = commit_with("theirs", {first});
  ObjectId ours = commit_with("ours", {first});
  update_ref(repo, "refs/heads/main", theirs);
  const std::string log_before = reflog();

  EXPECT_FALSE(update_ref_if(repo, "refs/heads/main", ours, first));
  EXPECT_FALSE(update_ref_if(repo, "refs/heads/main", ours, std::nullopt));
  EXPECT_EQ(read_ref(repo.root, "refs/heads/main"), theirs);
  EXPECT_EQ(reflog(), log_before);
  EXPECT_FALSE(::path_exists(orrery_path(repo, "lock")));
}

TEST_F(RefsFixture, UpdateRefIfRefusesWhenAValueIsExpectedButTheReferenceIsMissing) {
  ObjectId first = commit_with("one");
  EXPECT_FALSE(update_ref_if(repo, "refs/heads/topic", first, first));
  EXPECT_FALSE(::path_exists(orrery_path(repo, "refs/heads/topic")));
}

}  // namespace
