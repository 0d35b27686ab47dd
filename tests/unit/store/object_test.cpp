#include "store/object.h"

#include <gtest/gtest.h>

#include "store/codec.h"
#include "store/errors.h"
#include "store/fs.h"
#include "support/test_support.h"

using testing_support::list_files;
using testing_support::TempDir;

namespace {

TEST(ObjectId, AcceptsSixtyFourHexDigitsOfEitherCase) {
  EXPECT_TRUE(is_object_id(std::string(64, 'a')));
  EXPECT_TRUE(is_object_id(std::string(64, 'F')));
  for (const std::string& id : {std::string(63, 'a'), std::string(65, 'a'),
                                std::string(63, 'a') + "g", std::string(62, 'a') + "/."}) {
    EXPECT_FALSE(is_object_id(id)) << id;
  }
}

TEST(Codec, CompressesAtLevelNineAndRejectsDamagedStreams) {
  std::string text(100000, 'x');
  std::string stored = zlib_compress(text);
  EXPECT_EQ(stored.substr(0, 2), "\x78\xda");  // the level 9 header
  EXPECT_EQ(zlib_decompress(stored), text);
  EXPECT_EQ(zlib_decompress(compress_object("blob", "hi")), std::string("blob 2\0hi", 9));
  EXPECT_THROW(zlib_decompress(stored.substr(0, stored.size() - 5)), std::runtime_error);
  EXPECT_THROW(zlib_decompress("not zlib at all"), std::runtime_error);
  EXPECT_THROW(zlib_decompress(""), std::runtime_error);
}

TEST(ParseCommit, PrefersParentsOverParentAndDefaultsMissingMembers) {
  Commit parsed = parse_commit(R"({"parent":"x","parents":["a","b"]})");
  EXPECT_EQ(parsed.parents, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(parsed.tree, "");
  EXPECT_EQ(parsed.timestamp, 0u);
  EXPECT_EQ(parse_commit(R"({"parent":"x"})").parents, std::vector<std::string>{"x"});
  EXPECT_ANY_THROW(parse_commit("{"));
  EXPECT_ANY_THROW(parse_commit(R"({"timestamp":"soon"})"));
}

class ObjectStoreTest : public ::testing::Test {
 protected:
  TempDir dir;
  ObjectStore store{dir.path()};
};

TEST_F(ObjectStoreTest, WritingTwiceLeavesOneUnchangedFile) {
  ObjectId id = write_object(store, "blob", "hello");
  std::string path = loose_object_path(dir.path(), id);
  std::string first = read_file(path);
  EXPECT_EQ(write_object(store, "blob", "hello"), id);
  EXPECT_EQ(read_file(path), first);
  EXPECT_EQ(list_files(dir / ".orrery/objects"),
            std::vector<std::string>{id.substr(0, 2) + "/" + id.substr(2)});
  std::optional<Object> object = read_object(store, id);
  ASSERT_TRUE(object);
  EXPECT_EQ(object->type, "blob");
  EXPECT_EQ(object->data, "hello");
}

// Python recomputes the id from the loose file alone: inflate, hash.
TEST_F(ObjectStoreTest, LooseFileInflatesToBytesWhoseSha256IsTheId) {
  ObjectId id = write_object(store, "blob", std::string("bytes\0with nul\n", 15));
  auto result = testing_support::run_program("python3",
                                             {"-c",
                                              "import hashlib,sys,zlib\n"
                                              "raw=zlib.decompress(open(sys.argv[1],'rb').read())\n"
                                              "assert raw==b'blob 15\\0bytes\\0with nul\\n', raw\n"
                                              "print(hashlib.sha256(raw).hexdigest())",
                                              loose_object_path(dir.path(), id)});
  ASSERT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(result.out, id + "\n");
}

TEST_F(ObjectStoreTest, IdsThatAreNotSixtyFourHexDigitsNeverBecomePaths) {
  EXPECT_FALSE(write_raw_object(store, "../../../escape" + std::string(49, 'a'), "x"));
  EXPECT_FALSE(write_raw_object(store, std::string(63, 'a'), "x"));
  EXPECT_FALSE(write_raw_object(store, "..", "x"));
  EXPECT_FALSE(read_raw_object(store, std::string(63, 'a')));
  EXPECT_FALSE(read_raw_object(store, "../" + std::string(61, 'a')));
  EXPECT_EQ(list_files(dir.path()), std::vector<std::string>{});
}

TEST_F(ObjectStoreTest, DamagedObjectsAreReportedByIdNeverReadAsMissing) {
  using namespace std::string_literals;
  const std::string whole = zlib_compress("blob 5\0hello"s);
  const struct {
    std::string stored;
    std::string reason;
  } cases[] = {
      {zlib_compress("blob 5 hello"), "cut short"},
      {zlib_compress("blob\0x"s), "malformed object header"},
      {zlib_compress("blob 05\0hello"s), "malformed object header"},
      {zlib_compress("blob 6\0hello"s), "content length differs from its header"},
      {zlib_compress("blob 4\0hello"s), "content longer than its header says"},
      {zlib_compress(std::string(100, 'x')), "no object header"},
      {whole + "x", "data after the zlib stream"},
      {whole.substr(0, whole.size() - 3), "zlib inflate failed"},
      {"garbage", "zlib inflate failed"},
  };
  size_t next = 0;
  for (const auto& c : cases) {
    const std::string id(64, "0123456789abcdef"[next++]);
    ASSERT_TRUE(write_raw_object(store, id, c.stored));
    try {
      read_object(store, id);
      ADD_FAILURE() << c.reason;
    } catch (const RepositoryDamaged& e) {
      EXPECT_EQ(std::string(e.what()), "Damaged object " + id + ": " + c.reason);
    }
  }
}

TEST(InflateObject, AcceptsExactlyWhatItsHeaderAnnounces) {
  std::string canonical, error;
  ASSERT_TRUE(inflate_object(compress_object("tree", "[]"), canonical, error)) << error;
  EXPECT_EQ(canonical, std::string("tree 2\0[]", 9));
  ASSERT_TRUE(inflate_object(compress_object("blob", ""), canonical, error)) << error;
  EXPECT_EQ(canonical, std::string("blob 0\0", 7));
}

TEST_F(ObjectStoreTest, ReadsCommitsAndTreesByType) {
  ObjectId tree = write_object(store, "tree", serialize_tree({}));
  ObjectId commit = write_object(store, "commit", serialize_commit({tree, {}, "a", "m", 1}));
  EXPECT_TRUE(is_commit(store, commit));
  EXPECT_FALSE(is_commit(store, tree));
  EXPECT_FALSE(read_tree(store, commit));
  EXPECT_EQ(read_commit(store, commit)->tree, tree);
}

TEST_F(ObjectStoreTest, BatchHoldsObjectsBackButServesThemToReaders) {
  ObjectId id;
  {
    ObjectWriteBatch batch(store);
    id = write_object(store, "blob", "held back");
    EXPECT_FALSE(path_exists(loose_object_path(dir.path(), id)));
    EXPECT_EQ(read_object(store, id)->data, "held back");
    {
      ObjectWriteBatch nested(store);  // joins the outer batch
      write_object(store, "blob", "nested");
    }
    EXPECT_FALSE(path_exists(loose_object_path(dir.path(), blob_id("nested"))));
    write_object(store, "blob", "flushed");
    flush_pending_objects();
    EXPECT_EQ(list_files(dir / ".orrery/objects").size(), 3u);
  }
  EXPECT_EQ(read_file(loose_object_path(dir.path(), id)), compress_object("blob", "held back"));
  EXPECT_FALSE(path_exists(dir / ".orrery/lock"));
}

}  // namespace
