#include "tools/archive.h"

#include <gtest/gtest.h>

#include "store/fs.h"
#include "store/repo.h"
#include "support/repo_builder.h"
#include "support/test_support.h"

namespace testing_support {
namespace {

class PlanArchive : public ::testing::Test {
 protected:
  void SetUp() override { create_repository(repo); }

  TempDir dir;
  Repository repo{dir.path()};
};

std::vector<std::string> paths_of(const ArchivePlan& plan) {
  std::vector<std::string> paths;
  for (const ArchiveEntry& entry : plan.entries) paths.push_back(entry.path);
  return paths;
}

// Tree order puts directory "a" before "a-b" and "a.txt"; the archive
// orders whole paths, where "/" sorts after "-" and ".".
TEST_F(PlanArchive, OrdersWholePathsByteWiseAndKeepsTheLaterDuplicate) {
  const ObjectId first = write_object(repo.objects, "blob", "first");
  const ObjectId later = write_object(repo.objects, "blob", "later");
  const ObjectId sub = store_tree(repo.objects, {{"b", {"b"}}});
  const ObjectId tree = store_raw_tree(repo.objects, {{"40000", "tree", sub, "a"},
                                                      {"100644", "blob", first, "a-b"},
                                                      {"100644", "blob", first, "a.txt"},
                                                      {"100755", "blob", later, "a-b"}});
  ArchivePlan plan =
      plan_archive(repo, store_commit(repo.objects, tree, {}, "m", 42), ArchiveFormat::tar);
  EXPECT_EQ(plan.timestamp, 42u);
  EXPECT_EQ(paths_of(plan), (std::vector<std::string>{"a-b", "a.txt", "a/b"}));
  EXPECT_EQ(plan.entries[0].blob, later);
  EXPECT_EQ(plan.entries[0].mode, "100755");
}

TEST_F(PlanArchive, LeavesOutEntriesWhoseObjectIsNoBlob) {
  const ObjectId tree = store_tree(repo.objects, {{"f", {"x"}}});
  const ObjectId root = store_raw_tree(
      repo.objects,
      {{"100644", "blob", std::string(64, 'b'), "gone"}, {"100644", "blob", tree, "tree-as-blob"}});
  ArchivePlan plan = plan_archive(repo, store_commit(repo.objects, root), ArchiveFormat::tar);
  EXPECT_EQ(plan.entries.size(), 2u);
  std::string out;
  ByteSink sink;
  sink.write = [&out](std::string_view bytes) { out += bytes; };
  write_archive(repo, plan, ArchiveFormat::tar, sink);
  EXPECT_EQ(out, std::string(1024, '\0'));
}

}  // namespace
}  // namespace testing_support
