#include "pack/pack_writer.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "pack/internal/writer.h"
#include "store/codec.h"
#include "store/pack_reader.h"
#include "support/pack_test_util.h"

using nlohmann::json;
using pack_test::TestRepo;
using testing_support::read_text;

namespace {

json read_index(const TestRepo& r, const std::string& name) {
  return json::parse(read_text(r.packs() + "/" + name + ".idx.json"));
}

// The canonical bytes an object reads back as, whichever way it is stored.
std::string canonical_bytes(const TestRepo& r, const std::string& id) {
  std::optional<std::string> stored = read_raw_object(r.repo.objects, id);
  return stored ? zlib_decompress(*stored) : "<missing>";
}

// Prunes the loose copies of what the pack holds and checks that every
// object still reads back as it did.
void expect_prune_keeps_objects(const TestRepo& r, const std::string& name,
                                const std::vector<std::string>& ids) {
  std::vector<std::string> before;
  for (const std::string& id : ids) before.push_back(canonical_bytes(r, id));
  EXPECT_EQ(prune_packed_loose(r.repo.root, name), ids.size());
  for (size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(canonical_bytes(r, ids[i]), before[i]);
}

// Two blobs of 300 bytes whose canonical bytes ("blob 300\0" + content)
// share exactly `prefix` leading bytes.
std::pair<std::string, std::string> blobs_sharing(size_t prefix) {
  const size_t header = std::string("blob 300").size() + 1;
  std::string a(300, 'z');
  std::string b(300, 'z');
  std::fill_n(a.begin(), prefix - header, 'a');
  std::fill_n(b.begin(), prefix - header, 'a');
  a[prefix - header] = 'X';
  b[prefix - header] = 'Y';
  return {a, b};
}

TEST(WritePack, EmptyRepositoryGetsAnEmptyPackAndIndex) {
  TestRepo r;
  std::string name = write_pack(r.repo.root);
  EXPECT_TRUE(std::regex_match(name, std::regex("pack-[1-9a-f][0-9a-f]{0,15}"))) << name;
  EXPECT_EQ(read_text(r.packs() + "/" + name + ".pack"), "");
  EXPECT_EQ(read_text(r.packs() + "/" + name + ".idx.json"), "{}");
}

TEST(WritePack, WritesADeltaOnlyWhenItSavesMoreThan128Bytes) {
  for (const auto& [prefix, delta] : {std::pair{128, false}, std::pair{129, true}}) {
    TestRepo r;
    auto [a, b] = blobs_sharing(prefix);
    std::vector<std::string> ids{write_object(r.repo.objects, "blob", a),
                                 write_object(r.repo.objects, "blob", b)};
    std::string name = write_pack(r.repo.root);
    int deltas = 0;
    const json index = read_index(r, name);
    for (const auto& [id, entry] : index.items()) deltas += entry["type"] == "delta";
    EXPECT_EQ(deltas, delta ? 1 : 0) << "prefix " << prefix;
    expect_prune_keeps_objects(r, name, ids);
  }
}

TEST(WritePack, ChainsDeltasOnThePreviousRecordUpToTheChainLimit) {
  TestRepo r;
  std::vector<std::string> ids;
  for (int i = 0; i < 7; ++i) {
    ids.push_back(write_object(r.repo.objects, "blob", std::string(500, 'c') + std::to_string(i)));
  }
  std::string name = write_pack_with_chain_limit(r.repo.root, 2);
  json index = read_index(r, name);
  std::map<uint64_t, std::string> by_offset;
  for (const auto& [id, entry] : index.items()) by_offset[entry["offset"].get<uint64_t>()] = id;
  std::string sequence, previous;
  for (const auto& [offset, id] : by_offset) {
    sequence += index[id]["type"].get<std::string>()[0];
    if (index[id]["type"] == "delta") {
      EXPECT_EQ(index[id]["base"], previous);
    }
    previous = id;
  }
  EXPECT_EQ(sequence, "fddfddf");
  expect_prune_keeps_objects(r, name, ids);
}

TEST(WritePack, PackAndPruneKeepEveryObjectReadable) {
  TestRepo r;
  ObjectStore& store = r.repo.objects;
  std::string blob = write_object(store, "blob", "");
  std::string big = write_object(store, "blob", std::string(70000, '\0') + "tail");
  std::string tree = write_object(store, "tree", serialize_tree({{"100644", "blob", blob, "a"}}));
  std::string commit =
      write_object(store, "commit", serialize_commit({tree, {}, "tester", "m", 1}));

  std::string name = write_pack(r.repo.root);
  EXPECT_EQ(prune_packed_loose(r.repo.root, name), 4u);
  EXPECT_EQ(prune_packed_loose(r.repo.root, name), 0u);      // nothing left to delete
  EXPECT_EQ(prune_packed_loose(r.repo.root, "pack-1"), 0u);  // no such index
  EXPECT_EQ(read_object(store, blob)->data, "");
  EXPECT_EQ(read_object(store, big)->data, std::string(70000, '\0') + "tail");
  EXPECT_EQ(read_tree(store, tree)->front().hash, blob);
  EXPECT_EQ(read_commit(store, commit)->tree, tree);
  // Pruning leaves the object directories and the pack itself.
  EXPECT_TRUE(is_directory(std::string(path_dirname(loose_object_path(r.repo.root, blob)))));
  EXPECT_TRUE(is_regular_file(r.packs() + "/" + name + ".pack"));
}

TEST(WritePack, ASecondPackHoldsOnlyTheObjectsWrittenSince) {
  TestRepo r;
  for (std::string text : {"one", "two", "three"}) write_object(r.repo.objects, "blob", text);
  std::string first = write_pack(r.repo.root);
  EXPECT_EQ(prune_packed_loose(r.repo.root, first), 3u);

  std::string four = write_object(r.repo.objects, "blob", "four");
  {
    ObjectWriteBatch batch(r.repo.objects);  // a held-back object is packed too
    write_object(r.repo.objects, "blob", "five");
    std::string second = write_pack(r.repo.root);
    EXPECT_NE(second, first);
    json index = read_index(r, second);
    EXPECT_EQ(index.size(), 2u);
    EXPECT_TRUE(index.contains(four) && index.contains(blob_id("five")));
  }
  EXPECT_EQ(read_object(r.repo.objects, blob_id("one"))->data, "one");
}

TEST(WritePack, PrefersTheLooseFileToThePack) {
  TestRepo r;
  std::string id = write_object(r.repo.objects, "blob", "packed");
  write_pack(r.repo.root);
  write_file_atomic(loose_object_path(r.repo.root, id), compress_object("blob", "loose"));
  EXPECT_EQ(read_object(r.repo.objects, id)->data, "loose");
}

TEST(WritePack, PacksOnlyFilesNamedLikeObjects) {
  TestRepo r;
  std::string id = write_object(r.repo.objects, "blob", "real");
  const std::string objects = r.dir / ".orrery/objects/";
  std::string rest = id.substr(2);
  write_file_atomic(objects + "ab/short", "x");
  write_file_atomic(objects + "abc/" + rest, "x");  // directory name too long
  write_file_atomic(objects + "zz/" + rest, "x");   // not hexadecimal
  write_file_atomic(objects + id.substr(0, 2) + "/" + rest + ".tmp.1", "x");
  write_file_atomic(objects + "loose-at-top", "x");
  json index = read_index(r, write_pack(r.repo.root));
  EXPECT_EQ(index.size(), 1u);
  EXPECT_TRUE(index.contains(id));
}

TEST(WritePack, FailsWithoutAnObjectsDirectory) {
  TestRepo r;
  remove_path(r.dir / ".orrery/objects");
  try {
    write_pack(r.repo.root);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "No objects directory");
  }
}

}  // namespace
