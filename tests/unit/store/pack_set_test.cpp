#include "store/internal/pack_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "support/pack_test_util.h"

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

// Bisecting the writer's text must find what the whole table holds, and
// hand every other text to the full parser.
TEST(FindWrittenSlot, FindsWhatTheWholeTableHolds) {
  json index = json::object();
  for (unsigned n = 1; n <= 41; n += 2) {
    index[fake_id(n)] = {{"compressed", n}, {"offset", 10 * n}, {"raw", 1}, {"type", "full"}};
  }
  index[fake_id(8)] = {
      {"base", fake_id(1)}, {"offset", 7}, {"prefix", 64}, {"suffix", 3}, {"type", "delta"}};
  const std::string text = index.dump(2);
  const std::vector<IndexedPack::Slot> table = parse_index_slots(text);
  for (unsigned n = 0; n <= 43; ++n) {
    bool usable = false;
    std::optional<IndexedPack::Slot> slot = find_written_slot(text, fake_id(n), usable);
    EXPECT_TRUE(usable) << n;
    auto in_table = std::find_if(table.begin(), table.end(), [&](const IndexedPack::Slot& s) {
      return std::string(s.id.data(), s.id.size()) == fake_id(n);
    });
    ASSERT_EQ(slot.has_value(), in_table != table.end()) << n;
    if (slot) {
      EXPECT_EQ(describe({*slot}), describe({*in_table})) << n;
    }
  }

  json odd_entry = index;
  odd_entry[fake_id(5)] = {{"offset", 3}};
  struct Case {
    const char* what;
    std::string text;
  };
  const Case others[] = {
      {"compact", index.dump()},
      {"indented by four", index.dump(4)},
      {"an entry of another shape", odd_entry.dump(2)},
      {"cut short", text.substr(0, text.size() / 2)},
  };
  for (const Case& c : others) {
    bool usable = true;
    EXPECT_FALSE(find_written_slot(c.text, fake_id(5), usable)) << c.what;
    EXPECT_FALSE(usable) << c.what;
  }
}

}  // namespace
