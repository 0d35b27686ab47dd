#include "store/refs.h"

#include <gtest/gtest.h>

#include "store/errors.h"
#include "store/fs.h"
#include "store/repo.h"
#include "support/test_support.h"

using testing_support::read_text;
using testing_support::TempDir;
using testing_support::write_text;

namespace {

TEST(ParseHead, RecognisesBothFormsAndNothingElse) {
  const std::string id(64, 'a');
  EXPECT_EQ(parse_head("ref: refs/heads/main\r\n").symref, "refs/heads/main");
  EXPECT_EQ(parse_head("ref:refs/heads/x").symref, "refs/heads/x");
  EXPECT_EQ(parse_head(id + "  \n").detached, id);
  EXPECT_EQ(parse_head("\t" + id).detached, id);
  HeadRef short_id = parse_head(id.substr(1));
  EXPECT_FALSE(short_id.symref);
  EXPECT_FALSE(short_id.detached);
  EXPECT_FALSE(parse_head("ref:   \n").symref);
  EXPECT_FALSE(parse_head("").detached);
}

class RefsTest : public ::testing::Test {
 protected:
  ObjectId commit(const std::string& message, std::vector<ObjectId> parents = {}) {
    ObjectId tree = write_object(repo.objects, "tree", "[]");
    return write_object(repo.objects, "commit",
                        serialize_commit({tree, std::move(parents), "t", message, 1}));
  }
  std::string reflog() {
    return path_exists(dir / ".orrery/logs/HEAD") ? read_text(dir / ".orrery/logs/HEAD") : "";
  }
  std::string line(const std::string& old_id, const std::string& new_id, const std::string& msg) {
    return old_id + " " + new_id + "\t" + msg + "\n";
  }

  TempDir dir;
  Repository repo{dir.path()};
  const std::string zero{k_zero_id};
  void SetUp() override { create_repository(repo); }
};

TEST_F(RefsTest, FirstCommitOnTheCheckedOutBranchLogsFromZero) {
  ObjectId c1 = commit("one");
  update_ref(repo, "refs/heads/main", c1);
  EXPECT_EQ(read_text(dir / ".orrery/refs/heads/main"), c1 + "\n");
  EXPECT_EQ(head_commit(repo), c1);
  update_ref(repo, "refs/heads/main", c1);  // same id: no write, no line
  ObjectId c2 = commit("two", {c1});
  update_ref(repo, "refs/heads/main", c2);
  EXPECT_EQ(reflog(), line(zero, c1, "обновление: main") + line(c1, c2, "обновление: main"));
}

TEST_F(RefsTest, OtherBranchesAndTagsAreNotLogged) {
  ObjectId c1 = commit("one");
  update_ref(repo, "refs/heads/topic", c1);
  update_ref(repo, "refs/tags/v1", c1);
  EXPECT_EQ(reflog(), "");
  EXPECT_EQ(read_ref(dir.path(), "refs/tags/v1"), c1);
  EXPECT_FALSE(read_ref(dir.path(), "refs/tags/none"));
}

TEST_F(RefsTest, SwitchingDetachingAndMovingHeadWriteTheirLines) {
  ObjectId c1 = commit("one");
  ObjectId c2 = commit("two", {c1});
  update_ref(repo, "refs/heads/topic", c2);
  set_head_symbolic(repo, "refs/heads/empty");  // no file: HEAD moves, no line
  EXPECT_EQ(read_text(dir / ".orrery/HEAD"), "ref: refs/heads/empty\n");
  EXPECT_EQ(reflog(), "");
  set_head_symbolic(repo, "refs/heads/topic");
  detach_head(repo, c1);
  EXPECT_EQ(read_text(dir / ".orrery/HEAD"), c1 + "\n");
  detach_head(repo, c1);  // already there
  move_head(repo, c2);
  set_head_symbolic(repo, "refs/heads/topic");
  move_head(repo, c1);
  EXPECT_EQ(read_text(dir / ".orrery/refs/heads/topic"), c1 + "\n");
  EXPECT_EQ(reflog(), line(zero, c2, "переключение: refs/heads/topic") +
                          line(c2, c1, "HEAD: detach") +
                          line(c1, c2, "HEAD: обновление (detached)") +
                          line(c2, c2, "переключение: refs/heads/topic") +
                          line(c2, c1, "обновление: refs/heads/topic"));
}

TEST_F(RefsTest, ReflogMessagesAreOneLineOfAtMostTwoHundredBytes) {
  ObjectId c1 = commit("one");
  append_reflog(repo, std::nullopt, c1, "a\tb\nc\rd" + std::string(300, 'x'));
  EXPECT_EQ(reflog(), line(zero, c1, "a b c d" + std::string(193, 'x')));
  // Ids that name no commit write nothing at all.
  append_reflog(repo, std::string(64, 'f'), c1, "bad old");
  append_reflog(repo, c1, std::string(64, 'f'), "bad new");
  EXPECT_EQ(reflog(), line(zero, c1, "a b c d" + std::string(193, 'x')));
}

TEST_F(RefsTest, DetachedHeadAtAMissingObjectResolvesToNothing) {
  write_text(dir / ".orrery/HEAD", std::string(64, 'e') + "\n");
  EXPECT_FALSE(head_commit(repo));
}

TEST(ReferenceName, StaysBelowRefs) {
  for (const char* name : {"refs/heads/main", "refs/tags/v1.0", "refs/remotes/origin/a/b",
                           "refs/heads/a..b", "refs/stash"}) {
    EXPECT_TRUE(is_valid_reference(name)) << name;
  }
  for (const char* name :
       {"HEAD", "index", "refs", "refs/", "refs/heads/", "refs/heads//x", "refs/heads/./x",
        "refs/heads/../../HEAD", "refs/heads/..\\..\\x", "/refs/heads/x", "refs/heads/a\nb",
        "refs/heads/a\tb", "refs/heads/a\x7f"}) {
    EXPECT_FALSE(is_valid_reference(name)) << name;
  }
}

// A planted HEAD or reference is reported, and no update writes through it.
TEST_F(RefsTest, DamagedHeadIsReportedAndNothingIsWritten) {
  const ObjectId c1 = commit("one");
  update_ref(repo, "refs/heads/main", c1);
  for (const std::string& text : std::vector<std::string>{
           "garbage\n", "ref: ../../outside/victim\n", "ref: refs/heads/../../../x\n",
           "ref: refs/tags/v1\n", std::string(63, 'a') + "\n", std::string(64, 'A') + "\n", ""}) {
    SCOPED_TRACE(text);
    write_text(dir / ".orrery/HEAD", text);
    EXPECT_THROW(head_commit(repo), RepositoryDamaged);
    EXPECT_THROW(update_ref(repo, "refs/heads/main", commit("two", {c1})), RepositoryDamaged);
    EXPECT_THROW(move_head(repo, c1), RepositoryDamaged);
    EXPECT_EQ(read_text(dir / ".orrery/HEAD"), text);
  }
  EXPECT_EQ(read_ref(dir.path(), "refs/heads/main"), c1);
  EXPECT_FALSE(path_exists(dir / ".orrery/lock"));
}

TEST_F(RefsTest, ReferencesHoldOnlyLowerCaseIds) {
  const ObjectId c1 = commit("one");
  for (const std::string& text : std::vector<std::string>{"garbage\n", "", std::string(64, 'A')}) {
    write_text(dir / ".orrery/refs/heads/main", text);
    EXPECT_THROW(read_ref(dir.path(), "refs/heads/main"), RepositoryDamaged) << text;
    EXPECT_THROW(head_commit(repo), RepositoryDamaged) << text;  // never "no commits"
  }
  EXPECT_THROW(read_ref(dir.path(), "refs/heads/../../HEAD"), std::runtime_error);
  EXPECT_THROW(update_ref(repo, "refs/heads/../../index", c1), std::runtime_error);
  EXPECT_THROW(update_ref(repo, "refs/heads/main", ""), std::runtime_error);
  EXPECT_THROW(set_head_symbolic(repo, "refs/tags/v1"), std::runtime_error);
  EXPECT_EQ(read_text(dir / ".orrery/HEAD"), "ref: refs/heads/main\n");
  EXPECT_FALSE(path_exists(dir / ".orrery/index"));
  // Removing a damaged reference is how it is repaired.
  EXPECT_EQ(delete_ref(repo, "refs/heads/main"), RefDeletion::deleted);
  EXPECT_EQ(delete_ref(repo, "refs/heads/main"), RefDeletion::absent);
}

TEST_F(RefsTest, ListingSkipsLeftoversOfInterruptedWrites) {
  ObjectId c1 = commit("one");
  update_ref(repo, "refs/heads/main", c1);
  update_ref(repo, "refs/heads/x.tmp.v2", c1);
  update_ref(repo, "refs/heads/nested/deep", c1);
  write_text(dir / ".orrery/refs/heads/main.tmp.1234567", c1);
  auto branches = list_branches(repo);
  std::sort(branches.begin(), branches.end());
  ASSERT_EQ(branches.size(), 2u);
  EXPECT_EQ(branches[0], std::make_pair(std::string("main"), c1));
  EXPECT_EQ(branches[1].first, "x.tmp.v2");
  EXPECT_TRUE(is_temp_file_name("v1.tmp.99"));
  EXPECT_FALSE(is_temp_file_name("v1.tmp."));
  EXPECT_FALSE(is_temp_file_name(".tmp.1"));
}

TEST_F(RefsTest, ReferenceUpdatesWriteHeldBackObjectsFirst) {
  ObjectWriteBatch batch(repo.objects);
  ObjectId c1 = commit("held");
  EXPECT_FALSE(path_exists(loose_object_path(dir.path(), c1)));
  update_ref(repo, "refs/heads/main", c1);
  EXPECT_TRUE(path_exists(loose_object_path(dir.path(), c1)));
  EXPECT_EQ(reflog(), line(zero, c1, "обновление: main"));
}

TEST_F(RefsTest, UpdateRefIfMovesOnlyAReferenceThatHoldsTheExpectedValue) {
  ObjectId first = commit("one");
  ObjectId theirs = commit("theirs", {first});
  ObjectId ours = commit("ours", {first});
  EXPECT_FALSE(update_ref_if(repo, "refs/heads/main", first, first));  // missing, not `first`
  EXPECT_FALSE(path_exists(dir / ".orrery/refs/heads/main"));
  EXPECT_TRUE(update_ref_if(repo, "refs/heads/main", first, std::nullopt));
  EXPECT_TRUE(update_ref_if(repo, "refs/heads/main", theirs, first));
  const std::string log_before = reflog();
  EXPECT_EQ(log_before,
            line(zero, first, "обновление: main") + line(first, theirs, "обновление: main"));

  EXPECT_FALSE(update_ref_if(repo, "refs/heads/main", ours, first));
  EXPECT_FALSE(update_ref_if(repo, "refs/heads/main", ours, std::nullopt));
  EXPECT_EQ(read_ref(dir.path(), "refs/heads/main"), theirs);
  EXPECT_EQ(reflog(), log_before);
  EXPECT_FALSE(path_exists(dir / ".orrery/lock"));
}

TEST_F(RefsTest, DetachHeadIfMovesOnlyAHeadStillDetachedAtTheExpectedCommit) {
  ObjectId first = commit("one");
  ObjectId theirs = commit("theirs", {first});
  ObjectId ours = commit("ours", {first});
  detach_head(repo, theirs);
  const std::string log_before = reflog();
  EXPECT_FALSE(detach_head_if(repo, ours, first));
  EXPECT_FALSE(detach_head_if(repo, ours, std::nullopt));
  EXPECT_EQ(read_head(repo).detached, theirs);
  EXPECT_EQ(reflog(), log_before);

  update_ref(repo, "refs/heads/main", theirs);
  set_head_symbolic(repo, "refs/heads/main");
  EXPECT_FALSE(detach_head_if(repo, ours, theirs));  // on a branch again: not ours to move
  EXPECT_EQ(read_head(repo).symref, "refs/heads/main");

  detach_head(repo, theirs);
  EXPECT_TRUE(detach_head_if(repo, ours, theirs));
  EXPECT_EQ(read_head(repo).detached, ours);
  EXPECT_FALSE(path_exists(dir / ".orrery/lock"));
}

}  // namespace
