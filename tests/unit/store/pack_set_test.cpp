#include "store/internal/pack_set.h"

#include <gtest/gtest.h>

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

TEST(ParseIndexSlots, SortsAndDeduplicatesTextsTheWriterWouldNotWrite) {
  auto entry = [](unsigned id, unsigned offset) {
    return "\n  \"" + fake_id(id) +
           "\": {\n    \"compressed\": 5,\n    \"offset\": " + std::to_string(offset) +
           ",\n    \"raw\": 5,\n    \"type\": \"full\"\n  }";
  };
  const std::string unsorted =
      std::string("{").append(entry(2, 20)).append(",").append(entry(1, 10)).append("\n}");
  EXPECT_EQ(describe(parse_index_slots(unsorted)),
            (std::vector<std::string>{fake_id(1) + " 10 5", fake_id(2) + " 20 5"}));
  // The full parser keeps the last of two equal keys.
  const std::string twice =
      std::string("{").append(entry(1, 10)).append(",").append(entry(1, 30)).append("\n}");
  EXPECT_EQ(describe(parse_index_slots(twice)), std::vector<std::string>{fake_id(1) + " 30 5"});
}

// Bisecting needs the writer's exact layout: every other text goes to the
// full parser.
TEST(FindWrittenSlot, HandsOtherLayoutsToTheFullParser) {
  json index = json::object();
  for (unsigned n = 1; n <= 41; n += 2) {
    index[fake_id(n)] = {{"compressed", n}, {"offset", 10 * n}, {"raw", 1}, {"type", "full"}};
  }
  const std::string text = index.dump(2);
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
