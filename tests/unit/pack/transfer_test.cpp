#include "pack/transfer.h"

#include <gtest/gtest.h>

#include "pack/pack_writer.h"
#include "store/codec.h"
#include "support/pack_test_util.h"

using pack_test::fake_id;
using pack_test::TestRepo;
using testing_support::list_files;

namespace {

std::string stored_form(const TestRepo& r, const std::string& id) {
  return read_file(loose_object_path(r.repo.root, id));
}

std::string full_record(const std::string& id, const std::string& stored, size_t raw) {
  return "F " + id + " " + std::to_string(stored.size()) + " " + std::to_string(raw) + "\n" +
         stored;
}

TEST(BuildTransferPack, SendsLooseObjectsInIdOrderAndSkipsTheRest) {
  TestRepo r;
  std::string x = write_object(r.repo.objects, "blob", "x");
  std::string yy = write_object(r.repo.objects, "blob", "yy");
  std::set<ObjectId> ids{x, yy, fake_id(1), "../../escape"};
  std::string low = std::min(x, yy), high = std::max(x, yy);
  size_t raw_low = low == x ? 8 : 9, raw_high = high == x ? 8 : 9;
  EXPECT_EQ(build_transfer_pack(r.repo.root, ids),
            full_record(low, stored_form(r, low), raw_low) +
                full_record(high, stored_form(r, high), raw_high));
  EXPECT_EQ(build_transfer_pack(r.repo.root, {}), "");
}

TEST(BuildTransferPack, LeavesOutObjectsThatLiveOnlyInAPack) {
  TestRepo r;
  std::string id = write_object(r.repo.objects, "blob", "packed away");
  prune_packed_loose(r.repo.root, write_pack(r.repo.root));
  ASSERT_TRUE(read_object(r.repo.objects, id));
  EXPECT_EQ(build_transfer_pack(r.repo.root, {id}), "");
}

TEST(StoreTransferPack, StoresEveryObjectOfABuiltStream) {
  TestRepo from, to;
  std::set<ObjectId> ids;
  for (const std::string& text : {std::string(), std::string("one"), std::string(5000, '\n')}) {
    ids.insert(write_object(from.repo.objects, "blob", text));
  }
  EXPECT_TRUE(store_transfer_pack(to.repo.root, build_transfer_pack(from.repo.root, ids)));
  for (const ObjectId& id : ids) EXPECT_EQ(stored_form(to, id), stored_form(from, id));
  EXPECT_FALSE(testing_support::path_exists(to.dir / ".orrery/lock"));
}

TEST(StoreTransferPack, StopsAtAnEmptyLineAndKeepsExistingFiles) {
  TestRepo r;
  std::string a = fake_id(0xa), b = fake_id(0xb), c = fake_id(0xc);
  write_file_atomic(loose_object_path(r.repo.root, a), "old");
  std::string stream =
      full_record(a, "new", 0) + full_record(b, "bee", 0) + "\n" + full_record(c, "never", 0);
  EXPECT_TRUE(store_transfer_pack(r.repo.root, stream));
  EXPECT_EQ(stored_form(r, a), "old");
  EXPECT_EQ(stored_form(r, b), "bee");
  EXPECT_FALSE(testing_support::path_exists(loose_object_path(r.repo.root, c)));
  EXPECT_TRUE(store_transfer_pack(r.repo.root, ""));
}

TEST(StoreTransferPack, FailsAtTheFirstMalformedRecordKeepingThoseBefore) {
  const std::string a = fake_id(0xa), b = fake_id(0xb);
  const std::string first = full_record(a, "stored", 0);
  const std::string bad[] = {
      "D " + b + " " + a + " 0 1\nz",                         // deltas are not sent
      "F " + b.substr(1) + " 1 0\nz",                         // id of 63 characters
      "F ../../../../../../tmp/" + b.substr(22) + " 1 0\nz",  // 64 characters, not hexadecimal
      "F " + b + " 2 0\nz",                                   // payload past the end
      "F " + b + " 18446744073709551615 0\nz",                // length near 2^64
      "F " + b + " 1 0",                                      // header without its line feed
      "F " + b + " 1\nz",                                     // a field short
      "garbage\n",
  };
  for (const std::string& record : bad) {
    TestRepo r;
    EXPECT_FALSE(store_transfer_pack(r.repo.root, first + record)) << record;
    EXPECT_EQ(stored_form(r, a), "stored") << record;
    EXPECT_EQ(list_files(r.dir / ".orrery/objects"),
              std::vector<std::string>{a.substr(0, 2) + "/" + a.substr(2)})
        << record;
  }
}

}  // namespace
