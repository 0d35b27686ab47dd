#include "store/pack_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "store/codec.h"
#include "support/pack_test_util.h"

using nlohmann::json;
using pack_test::fake_id;
using pack_test::put_pack;
using pack_test::TestRepo;

namespace {

const std::string k_a = fake_id(0xa);
const std::string k_b = fake_id(0xb);
const std::string k_c = fake_id(0xc);

// What a whole record's header says it inflates to (0 for junk).
size_t raw_length(const std::string& stored) {
  try {
    return zlib_decompress(stored).size();
  } catch (const std::runtime_error&) {
    return 0;
  }
}

// A pack assembled record by record, with the index to match.
struct HandPack {
  HandPack& full(const std::string& id, const std::string& stored) {
    return record(id, "F " + id + " " + std::to_string(stored.size()) + " " +
                          std::to_string(raw_length(stored)) + "\n" + stored);
  }
  HandPack& delta(const std::string& id, const std::string& base, size_t prefix,
                  const std::string& suffix) {
    return record(id, "D " + id + " " + base + " " + std::to_string(prefix) + " " +
                          std::to_string(suffix.size()) + "\n" + suffix);
  }
  HandPack& record(const std::string& id, const std::string& bytes) {
    index[id] = {{"offset", bytes_.size()}};
    bytes_ += bytes;
    return *this;
  }
  std::string bytes() const { return bytes_; }

  json index = json::object();
  std::string bytes_;
};

std::string inflated(const std::optional<std::string>& stored) {
  return stored ? zlib_decompress(*stored) : "<missing>";
}

TEST(FindInPacks, ReadsWholeAndDeltaRecords) {
  TestRepo r;
  HandPack pack;
  pack.full(k_a, zlib_compress("0123456789")).delta(k_b, k_a, 4, "xyz").delta(k_c, k_b, 6, "!");
  put_pack(r, "pack-1", pack.bytes(), pack.index.dump(2));
  EXPECT_EQ(find_in_packs(r.repo.objects, k_a), zlib_compress("0123456789"));
  EXPECT_EQ(inflated(find_in_packs(r.repo.objects, k_b)), "0123xyz");
  EXPECT_EQ(inflated(find_in_packs(r.repo.objects, k_c)), "0123xy!");
  EXPECT_EQ(find_in_packs(r.repo.objects, fake_id(0xd)), std::nullopt);
  EXPECT_EQ(find_in_packs(r.repo.objects, k_a.substr(1)), std::nullopt);
}

TEST(FindInPacks, AnswersNothingWithoutAPack) {
  TestRepo r;
  EXPECT_EQ(find_in_packs(r.repo.objects, k_a), std::nullopt);
  ensure_directory(r.packs());
  EXPECT_EQ(find_in_packs(r.repo.objects, k_a), std::nullopt);
  write_file_atomic(r.packs() + "/pack-1.idx.json", "{\"" + k_a + "\": {\"offset\": 0}}");
  EXPECT_EQ(find_in_packs(r.repo.objects, k_a), std::nullopt);
}

// Every kind of damage makes the object read as missing; none may crash or
// read past the data (the sanitizer build checks the latter).
TEST(FindInPacks, ReadsDamagedRecordsAsMissing) {
  const std::string stored = zlib_compress("0123456789");
  const std::string good = "F " + k_a + " " + std::to_string(stored.size()) + " 10\n" + stored;
  struct Case {
    const char* what;
    std::string pack;
    std::string index;
    std::string id;
  };
  auto at = [](const std::string& id, const std::string& offset) {
    return "{\"" + id + "\": {\"offset\": " + offset + "}}";
  };
  HandPack cut_suffix, no_base, long_prefix, bad_base, self, cycle, swelling_base;
  cut_suffix.record(k_a, good).record(k_b, "D " + k_b + " " + k_a + " 2 9\nab");
  no_base.delta(k_b, k_c, 0, "z");
  long_prefix.record(k_a, good).delta(k_b, k_a, 11, "z");
  bad_base.full(k_a, "junk").delta(k_b, k_a, 1, "z");
  self.delta(k_a, k_a, 0, "z");
  cycle.delta(k_a, k_b, 0, "z").delta(k_b, k_a, 0, "z");
  const std::string swelling = zlib_compress(std::string(1 << 20, 'x'));
  swelling_base.record(k_a, "F " + k_a + " " + std::to_string(swelling.size()) + " 10\n" + swelling)
      .delta(k_b, k_a, 1, "z");
  const Case cases[] = {
      {"payload cut short", good.substr(0, good.size() - 1), at(k_a, "0"), k_a},
      {"header cut short", good.substr(0, 30), at(k_a, "0"), k_a},
      {"empty pack", "", at(k_a, "0"), k_a},
      {"offset past the end", good, at(k_a, "100000"), k_a},
      {"offset inside a payload", good, at(k_a, "80"), k_a},
      {"offset beyond 64 bits", good, at(k_a, "18446744073709551616"), k_a},
      {"unknown record type", "X " + k_a + " 1 1\nx", at(k_a, "0"), k_a},
      {"length near 2^64", "F " + k_a + " 18446744073709551615 1\nx", at(k_a, "0"), k_a},
      {"header longer than any record", "F " + k_a + std::string(600, ' ') + "1 1\nx", at(k_a, "0"),
       k_a},
      {"index not JSON", good, "{\"" + k_a + "\": {\"offset\": 0", k_a},
      {"offset a string", good, at(k_a, "\"0\""), k_a},
      {"offset negative", good, at(k_a, "-1"), k_a},
      {"entry not an object", good, "{\"" + k_a + "\": 0}", k_a},
      {"suffix past the end", cut_suffix.bytes(), cut_suffix.index.dump(), k_b},
      {"base missing", no_base.bytes(), no_base.index.dump(), k_b},
      {"base not an id", "D " + k_b + " ../../../etc 0 1\nz", at(k_b, "0"), k_b},
      {"prefix longer than the base", long_prefix.bytes(), long_prefix.index.dump(), k_b},
      {"base not zlib", bad_base.bytes(), bad_base.index.dump(), k_b},
      {"delta on itself", self.bytes(), self.index.dump(), k_a},
      {"delta cycle", cycle.bytes(), cycle.index.dump(), k_b},
      {"base longer than its header says", swelling_base.bytes(), swelling_base.index.dump(), k_b},
  };
  for (const Case& c : cases) {
    TestRepo r;
    put_pack(r, "pack-1", c.pack, c.index);
    EXPECT_EQ(find_in_packs(r.repo.objects, c.id), std::nullopt) << c.what;
    EXPECT_EQ(read_object(r.repo.objects, c.id), std::nullopt) << c.what;
  }
}

// The index's lengths only size the first read: a wrong one costs a second
// read or a longer one, never a wrong answer.
TEST(FindInPacks, ReadsRecordsWhoseIndexMisstatesTheirLength) {
  const std::string stored = zlib_compress(std::string(2000, 'x') + "tail");
  HandPack pack;
  pack.full(k_a, stored).delta(k_b, k_a, 1000, "!");
  for (const char* length : {"1", "99999999", "18446744073709551615"}) {
    TestRepo r;
    json index = pack.index;
    index[k_a]["compressed"] = index[k_b]["suffix"] = std::stoull(length);
    put_pack(r, "pack-1", pack.bytes(), index.dump(2));
    EXPECT_EQ(find_in_packs(r.repo.objects, k_a), stored) << length;
    EXPECT_EQ(inflated(find_in_packs(r.repo.objects, k_b)), std::string(1000, 'x') + "!") << length;
  }
}

// A damaged whole record sends the reader on to the next pack, and a delta
// may rest on a base that only another pack holds.
TEST(FindInPacks, LooksInEveryPack) {
  for (const std::string& damaged : {"X " + k_a + " 1 1\nx", "F " + k_a + " 500 1\nx"}) {
    TestRepo r;
    HandPack first, second;
    first.record(k_a, damaged).full(k_c, zlib_compress("base bytes"));
    second.full(k_a, zlib_compress("fine")).delta(k_b, k_c, 5, "delta");
    put_pack(r, "pack-1", first.bytes(), first.index.dump());
    put_pack(r, "pack-2", second.bytes(), second.index.dump());
    EXPECT_EQ(inflated(find_in_packs(r.repo.objects, k_a)), "fine") << damaged;
    EXPECT_EQ(inflated(find_in_packs(r.repo.objects, k_b)), "base delta");
  }
}

// A chain of `deltas` records on one whole object, each adding one byte.
HandPack chain_of(unsigned deltas) {
  HandPack pack;
  pack.full(fake_id(1), zlib_compress("x"));
  for (unsigned i = 1; i <= deltas; ++i) pack.delta(fake_id(i + 1), fake_id(i), i, "y");
  return pack;
}

// Read fresh, or once its base is remembered, a chain one delta too long
// stays missing.
TEST(FindInPacks, ResolvesChainsOfUpTo10000DeltasOnly) {
  const HandPack pack = chain_of(10001);
  const std::string longest = std::string("x").append(10000, 'y');
  for (const bool longest_first : {true, false}) {
    TestRepo r;
    put_pack(r, "pack-1", pack.bytes(), pack.index.dump());
    if (longest_first) {
      EXPECT_EQ(inflated(find_in_packs(r.repo.objects, fake_id(10001))), longest);
    }
    EXPECT_EQ(find_in_packs(r.repo.objects, fake_id(10002)), std::nullopt);
    EXPECT_EQ(inflated(find_in_packs(r.repo.objects, fake_id(10001))), longest);
    EXPECT_EQ(find_in_packs(r.repo.objects, fake_id(10002)), std::nullopt);
  }
}

TEST(FindInPacks, NoticesAnIndexReplacedDuringTheProcess) {
  TestRepo r;
  HandPack first, second;
  first.full(k_a, zlib_compress("base")).delta(k_b, k_a, 4, " one");
  second.full(k_c, zlib_compress("shifts offsets"))
      .full(k_a, zlib_compress("BASE"))
      .delta(k_b, k_a, 4, " two");
  put_pack(r, "pack-1", first.bytes(), first.index.dump());
  EXPECT_EQ(inflated(find_in_packs(r.repo.objects, k_b)), "base one");
  put_pack(r, "pack-1", second.bytes(), second.index.dump());
  EXPECT_EQ(inflated(find_in_packs(r.repo.objects, k_b)), "BASE two");  // no stale rebuilt delta
  EXPECT_EQ(inflated(find_in_packs(r.repo.objects, k_a)), "BASE");
  remove_path(r.packs() + "/pack-1.idx.json");
  EXPECT_EQ(find_in_packs(r.repo.objects, k_a), std::nullopt);
}

// Sets the directory's times an hour back, as if nothing had changed lately.
void age_directory(const std::string& dir) {
  struct timespec times[2];
  clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec -= 3600;
  times[1] = times[0];
  ASSERT_EQ(utimensat(AT_FDCWD, dir.c_str(), times, 0), 0);
}

// A pack added after a listing is seen, whether the listing is an hour old
// or the pack came within the same tick of the file clock, which leaves the
// directory's stamp as it was: a reader that finds nothing in a recent
// listing looks again.
TEST(FindInPacks, SeesAPackAddedAfterAQuietOrARecentListing) {
  for (const bool same_tick : {false, true}) {
    SCOPED_TRACE(same_tick);
    TestRepo r;
    HandPack first, second;
    first.full(k_a, zlib_compress("first"));
    second.full(k_b, zlib_compress("second"));
    put_pack(r, "pack-1", first.bytes(), first.index.dump());
    if (!same_tick) age_directory(r.packs());
    struct stat before;
    ASSERT_EQ(stat(r.packs().c_str(), &before), 0);
    EXPECT_EQ(inflated(find_in_packs(r.repo.objects, k_a)), "first");
    EXPECT_EQ(find_in_packs(r.repo.objects, k_b), std::nullopt);
    put_pack(r, "pack-2", second.bytes(), second.index.dump());
    const struct timespec stamp[2] = {before.st_atim, before.st_mtim};
    if (same_tick) {
      ASSERT_EQ(utimensat(AT_FDCWD, r.packs().c_str(), stamp, 0), 0);
    }
    EXPECT_EQ(inflated(find_in_packs(r.repo.objects, k_b)), "second");
    EXPECT_EQ(inflated(find_in_packs(r.repo.objects, k_a)), "first");
    remove_path(r.packs() + "/pack-1.idx.json");
    EXPECT_EQ(find_in_packs(r.repo.objects, k_a), std::nullopt);
  }
}

size_t open_descriptors() {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

TEST(FindInPacks, KeepsABoundedNumberOfPackFilesOpen) {
  TestRepo r;
  const unsigned packs = 80;
  for (unsigned i = 1; i <= packs; ++i) {
    HandPack pack;
    pack.full(fake_id(i), zlib_compress(std::to_string(i)));
    put_pack(r, "pack-" + std::to_string(i), pack.bytes(), pack.index.dump());
  }
  size_t before = open_descriptors();
  for (int round = 0; round < 2; ++round) {
    for (unsigned i = 1; i <= packs; ++i) {
      EXPECT_EQ(inflated(find_in_packs(r.repo.objects, fake_id(i))), std::to_string(i));
    }
  }
  EXPECT_LE(open_descriptors(), before + 64);
}

}  // namespace
