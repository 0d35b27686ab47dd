#include "store/object_check.h"

#include <gtest/gtest.h>

#include "store/codec.h"
#include "store/repo.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

std::string stored_form(const std::string& canonical) { return zlib_compress(canonical); }

TEST(CheckStoredObject, AcceptsOnlyBytesThatHashToTheirId) {
  const std::string tree = "[]";
  const ObjectId tree_id = object_hash("tree", tree);
  std::optional<Object> checked = check_stored_object(tree_id, compress_object("tree", tree));
  ASSERT_TRUE(checked);
  EXPECT_EQ(checked->type, "tree");
  EXPECT_EQ(checked->data, "[]");

  const ObjectId blob = blob_id("hello");
  const std::string good = compress_object("blob", "hello");
  EXPECT_EQ(check_stored_object(blob, good)->data, "");  // blob content is not kept
  struct Case {
    std::string name;
    std::string id;
    std::string stored;
  } damaged[] = {
      {"other id", blob_id("other"), good},
      {"upper-case id", std::string(64, 'A'), good},
      {"path as id", "../../../../etc/passwd", good},
      {"not zlib", blob, "hello"},
      {"truncated", blob, good.substr(0, good.size() - 3)},
      {"trailing bytes", blob, good + "x"},
      {"size too small", object_hash("blob", "hello"),
       stored_form(std::string("blob 4\0hello", 12))},
      {"size too large", blob, stored_form(std::string("blob 6\0hello", 12))},
      {"unknown type", object_hash("tag", "hello"), compress_object("tag", "hello")},
      {"no header end", blob, stored_form(std::string(100, 'b'))},
      {"leading zero", blob, stored_form(std::string("blob 05\0hello", 13))},
  };
  for (const Case& c : damaged) EXPECT_FALSE(check_stored_object(c.id, c.stored)) << c.name;
  EXPECT_FALSE(check_stored_object(blob, good, 4)) << "over the size cap";
}

TEST(ReadObjectOfType, ReadsOnlyObjectsOfTheAskedType) {
  TempDir dir;
  Repository repo(dir.path());
  const ObjectId blob = write_object(repo.objects, "blob", std::string(1 << 20, 'x'));
  const ObjectId tree = write_object(repo.objects, "tree", "[]");
  EXPECT_EQ(read_object_of_type(repo.objects, tree, "tree")->data, "[]");
  EXPECT_FALSE(read_object_of_type(repo.objects, blob, "tree"));
  EXPECT_FALSE(read_object_of_type(repo.objects, std::string(64, 'f'), "tree"));
}

}  // namespace
