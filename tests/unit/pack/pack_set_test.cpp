#include "pack/internal/pack_set.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "pack_test_util.h"

using nlohmann::json;
using pack_test::fake_id;

namespace {

std::vector<std::string> describe(const std::vector<IndexedPack::Slot>& slots) {
  std::vector<std::string> out;
  for (const IndexedPack::Slot& s : slots) {
    out.push_back(std::string(s.id.data(), s.id.size()) + " " + std::to_string(s.offset) + " " +
                  std::to_string(s.length));
  }
  return out;
}

// The writer's indented text takes the fast path, the compact one the full
// parser: both must give the same table.
TEST(ParseIndexSlots, ReadsTheWrittenTextAsTheFullParserDoes) {
  json index = json::object();
  index[fake_id(2)] = {{"compressed", 20}, {"offset", 0}, {"raw", 30}, {"type", "full"}};
  index[fake_id(1)] = {
      {"base", fake_id(2)}, {"offset", 120}, {"prefix", 64}, {"suffix", 7}, {"type", "delta"}};
  index["short"] = {{"compressed", 1}, {"offset", 9}, {"raw", 1}, {"type", "full"}};
  const std::vector<std::string> expected = {fake_id(1) + " 120 7", fake_id(2) + " 0 20"};
  EXPECT_EQ(describe(parse_index_slots(index.dump(2))), expected);
  EXPECT_EQ(describe(parse_index_slots(index.dump())), expected);
  EXPECT_TRUE(parse_index_slots(json::object().dump(2)).empty());
}

TEST(ParseIndexSlots, SortsAndDeduplicatesTextsTheWriterWouldNotWrite) {
  auto entry = [](unsigned id, unsigned offset) {
    return "\n  \"" + fake_id(id) +
           "\": {\n    \"compressed\": 5,\n    \"offset\": " + std::to_string(offset) +
           ",\n    \"raw\": 5,\n    \"type\": \"full\"\n  }";
  };
  const std::string unsorted = "{" + entry(2, 20) + "," + entry(1, 10) + "\n}";
  EXPECT_EQ(describe(parse_index_slots(unsorted)),
            (std::vector<std::string>{fake_id(1) + " 10 5", fake_id(2) + " 20 5"}));
  // The full parser keeps the last of two equal keys.
  const std::string twice = "{" + entry(1, 10) + "," + entry(1, 30) + "\n}";
  EXPECT_EQ(describe(parse_index_slots(twice)), std::vector<std::string>{fake_id(1) + " 30 5"});
}

}  // namespace
