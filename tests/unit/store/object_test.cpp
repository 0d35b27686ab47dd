#include "store/object.h"

#include <gtest/gtest.h>

#include "store/codec.h"
#include "store/fs.h"
#include "support/test_support.h"

using testing_support::list_files;
using testing_support::TempDir;

namespace {

TEST(ObjectId, EmptyBlobHashesItsSevenCanonicalBytes) {
  EXPECT_EQ(blob_id(""), sha256_hex(std::string("blob 0\0", 7)));
  EXPECT_EQ(blob_id("hello"), sha256_hex(std::string("blob 5\0hello", 12)));
}

TEST(ObjectId, AcceptsSixtyFourHexDigitsOfEitherCase) {
  EXPECT_TRUE(is_object_id(std::string(64, 'a')));
  EXPECT_TRUE(is_object_id(std::string(64, 'F')));
  EXPECT_FALSE(is_object_id(std::string(63, 'a')));
  EXPECT_FALSE(is_object_id(std::string(65, 'a')));
  EXPECT_FALSE(is_object_id(std::string(63, 'a') + "g"));
  EXPECT_FALSE(is_object_id(std::string(62, 'a') + "/."));
}

TEST(Codec, CompressesAtLevelNineAndRoundTrips) {
  std::string text(100000, 'x');
  std::string stored = zlib_compress(text);
  EXPECT_EQ(static_cast<unsigned char>(stored[0]), 0x78);
  EXPECT_EQ(static_cast<unsigned char>(stored[1]), 0xda);  // level 9 header
  EXPECT_EQ(zlib_decompress(stored), text);
  EXPECT_EQ(zlib_decompress(compress_object("blob", "hi")), std::string("blob 2\0hi", 9));
}

TEST(Codec, RejectsDamagedAndTruncatedStreams) {
  std::string stored = zlib_compress("some content that compresses");
  EXPECT_THROW(zlib_decompress(stored.substr(0, stored.size() - 5)), std::runtime_error);
  EXPECT_THROW(zlib_decompress("not zlib at all"), std::runtime_error);
  EXPECT_THROW(zlib_decompress(""), std::runtime_error);
}

TEST(SerializeTree, WritesCompactMembersInKeyOrder) {
  Tree tree{{"100644", "blob", std::string(64, 'a'), "f.txt"}};
  EXPECT_EQ(serialize_tree(tree),
            "[{\"hash\":\"" + std::string(64, 'a') +
                "\",\"mode\":\"100644\",\"path\":\"f.txt\",\"type\":\"blob\"}]");
  EXPECT_EQ(serialize_tree({}), "[]");
}

TEST(SerializeCommit, WritesParentOnlyForExactlyOneParent) {
  Commit commit{std::string(64, 't'), {}, "me", "msg", 42};
  EXPECT_EQ(serialize_commit(commit),
            "{\"author\":\"me\",\"message\":\"msg\",\"timestamp\":42,\"tree\":\"" +
                std::string(64, 't') + "\"}");
  commit.parents = {"p1"};
  EXPECT_EQ(serialize_commit(commit),
            "{\"author\":\"me\",\"message\":\"msg\",\"parent\":\"p1\",\"parents\":[\"p1\"],"
            "\"timestamp\":42,\"tree\":\"" +
                std::string(64, 't') + "\"}");
  commit.parents = {"p1", "p2"};
  EXPECT_EQ(serialize_commit(commit),
            "{\"author\":\"me\",\"message\":\"msg\",\"parents\":[\"p1\",\"p2\"],"
            "\"timestamp\":42,\"tree\":\"" +
                std::string(64, 't') + "\"}");
}

TEST(SerializeCommit, EscapesControlCharactersAndKeepsUtf8) {
  Commit commit{"t", {}, "a", "строка\n\"q\" \\ \x01", 0};
  EXPECT_EQ(serialize_commit(commit),
            "{\"author\":\"a\",\"message\":\"строка\\n\\\"q\\\" \\\\ \\u0001\",\"timestamp\":0,"
            "\"tree\":\"t\"}");
  commit.message = "\xff\xfe";  // not UTF-8: cannot be encoded
  EXPECT_ANY_THROW(serialize_commit(commit));
}

TEST(ParseCommit, PrefersParentsOverParentAndDefaultsMissingMembers) {
  Commit parsed = parse_commit(R"({"parent":"x","parents":["a","b"]})");
  EXPECT_EQ(parsed.parents, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(parsed.tree, "");
  EXPECT_EQ(parsed.timestamp, 0u);
  EXPECT_EQ(parse_commit(R"({"parent":"x"})").parents, std::vector<std::string>{"x"});
  Commit round{std::string(64, '1'), {"p"}, "автор", "m", 7};
  Commit back = parse_commit(serialize_commit(round));
  EXPECT_EQ(back.tree, round.tree);
  EXPECT_EQ(back.parents, round.parents);
  EXPECT_EQ(back.author, round.author);
  EXPECT_EQ(back.timestamp, 7u);
}

TEST(ParseCommit, RejectsMalformedInput) {
  EXPECT_ANY_THROW(parse_commit("{"));
  try {
    parse_commit(R"({"timestamp":"soon"})");
    FAIL();
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find("type must be number, but is string"), std::string::npos);
  }
}

TEST(ParseTree, DefaultsMissingMembersAndRejectsWrongTypes) {
  Tree tree = parse_tree(R"([{"path":"a"},{"hash":"h","mode":"40000","path":"d","type":"tree"}])");
  ASSERT_EQ(tree.size(), 2u);
  EXPECT_EQ(tree[0].path, "a");
  EXPECT_EQ(tree[0].hash, "");
  EXPECT_EQ(tree[1].type, "tree");
  EXPECT_ANY_THROW(parse_tree(R"([1])"));
  EXPECT_ANY_THROW(parse_tree(R"([{"path":3}])"));
  EXPECT_ANY_THROW(parse_tree("[{"));
}

class ObjectStoreTest : public ::testing::Test {
 protected:
  TempDir dir;
  ObjectStore store{dir.path()};
};

TEST_F(ObjectStoreTest, WritingTwiceLeavesOneUnchangedFile) {
  ObjectId id = write_object(store, "blob", "hello");
  EXPECT_EQ(id, blob_id("hello"));
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

TEST_F(ObjectStoreTest, IdsThatAreNotSixtyFourHexDigitsNeverBecomePaths) {
  EXPECT_FALSE(write_raw_object(store, "../../../escape" + std::string(49, 'a'), "x"));
  EXPECT_FALSE(write_raw_object(store, std::string(63, 'a'), "x"));
  EXPECT_FALSE(write_raw_object(store, "..", "x"));
  EXPECT_FALSE(read_raw_object(store, std::string(63, 'a')));
  EXPECT_FALSE(read_raw_object(store, "../" + std::string(61, 'a')));
  EXPECT_EQ(list_files(dir.path()), std::vector<std::string>{});
}

TEST_F(ObjectStoreTest, ObjectsWithoutHeaderReadAsMissing) {
  std::string no_nul(64, 'b');
  ASSERT_TRUE(write_raw_object(store, no_nul, zlib_compress("blob 5 hello")));
  EXPECT_FALSE(read_object(store, no_nul));
  std::string no_space(64, 'c');
  ASSERT_TRUE(write_raw_object(store, no_space, zlib_compress(std::string("blob\0x", 6))));
  EXPECT_FALSE(read_object(store, no_space));
  std::string damaged(64, 'd');
  ASSERT_TRUE(write_raw_object(store, damaged, "garbage"));
  EXPECT_THROW(read_object(store, damaged), std::runtime_error);
}

TEST_F(ObjectStoreTest, ReadsCommitsAndTreesByType) {
  ObjectId tree = write_object(store, "tree", serialize_tree({}));
  ObjectId commit = write_object(store, "commit", serialize_commit({tree, {}, "a", "m", 1}));
  EXPECT_TRUE(is_commit(store, commit));
  EXPECT_FALSE(is_commit(store, tree));
  EXPECT_TRUE(read_tree(store, tree));
  EXPECT_FALSE(read_tree(store, commit));
  EXPECT_EQ(read_commit(store, commit)->tree, tree);
}

}  // namespace

namespace {

using testing_support::run_program;

// Python recomputes the id from the loose file alone: inflate, hash.
TEST_F(ObjectStoreTest, LooseFileInflatesToBytesWhoseSha256IsTheId) {
  ObjectId id = write_object(store, "blob", std::string("bytes\0with nul\n", 15));
  auto result = run_program("python3", {"-c",
                                        "import hashlib,sys,zlib\n"
                                        "raw=zlib.decompress(open(sys.argv[1],'rb').read())\n"
                                        "assert raw==b'blob 15\\0bytes\\0with nul\\n', raw\n"
                                        "print(hashlib.sha256(raw).hexdigest())",
                                        loose_object_path(dir.path(), id)});
  ASSERT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(result.out, id + "\n");
}

}  // namespace

namespace {

TEST_F(ObjectStoreTest, BatchHoldsObjectsBackButServesThemToReaders) {
  ObjectId id;
  {
    ObjectWriteBatch batch(store);
    id = write_object(store, "blob", "held back");
    EXPECT_FALSE(path_exists(loose_object_path(dir.path(), id)));
    ASSERT_TRUE(read_object(store, id));
    EXPECT_EQ(read_object(store, id)->data, "held back");
    {
      ObjectWriteBatch nested(store);  // joins the outer batch
      write_object(store, "blob", "nested");
    }
    EXPECT_FALSE(path_exists(loose_object_path(dir.path(), blob_id("nested"))));
  }
  EXPECT_EQ(read_file(loose_object_path(dir.path(), id)), compress_object("blob", "held back"));
  EXPECT_TRUE(path_exists(loose_object_path(dir.path(), blob_id("nested"))));
  EXPECT_FALSE(path_exists(dir / ".orrery/lock"));
}

TEST_F(ObjectStoreTest, FlushWritesEverythingPendingAtOnce) {
  ObjectWriteBatch batch(store);
  for (int i = 0; i < 10; ++i) write_object(store, "blob", std::to_string(i));
  EXPECT_EQ(list_files(dir / ".orrery/objects").size(), 0u);
  flush_pending_objects();
  EXPECT_EQ(list_files(dir / ".orrery/objects").size(), 10u);
}

}  // namespace
