#include "worktree/restore.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "store/repo.h"
#include "support/repo_builder.h"
#include "support/test_support.h"

namespace testing_support {
namespace {

TEST(RestoreFile, RefusesUnsafePathsAndNonBlobs) {
  TempDir dir;
  Repository repo(dir.path());
  ObjectId blob = write_object(repo.objects, "blob", "x\n");
  ObjectId tree = store_tree(repo.objects, {{"a", "x\n"}});
  EXPECT_TRUE(restore_file(repo.objects, dir.path(), "new/dir/x.txt", blob));
  EXPECT_EQ(read_text(dir / "new/dir/x.txt"), "x\n");
  EXPECT_FALSE(restore_file(repo.objects, dir.path(), "t.txt", tree));
  EXPECT_FALSE(path_exists(dir / "t.txt"));

  TempDir outside;
  ASSERT_EQ(::symlink(outside.path().c_str(), (dir / "link").c_str()), 0);
  EXPECT_FALSE(restore_file(repo.objects, dir.path(), "link/x.txt", blob));
  EXPECT_FALSE(path_exists(outside / "x.txt"));
}

}  // namespace
}  // namespace testing_support
