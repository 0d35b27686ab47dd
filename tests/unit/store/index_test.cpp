#include "store/index.h"

#include <gtest/gtest.h>

#include "store/fs.h"
#include "store/repo.h"
#include "support/test_support.h"

using testing_support::read_text;
using testing_support::TempDir;
using testing_support::write_text;

namespace {

const std::string k_id(64, 'a');

TEST(SerializeIndex, WritesTheIndentedCurrentFormatWithoutFinalNewline) {
  EXPECT_EQ(serialize_index({}), "{\n  \"entries\": {},\n  \"version\": 2\n}");
  Index index;
  index["b/ü.txt"] = {k_id, 5, 13300000000, 33261};
  index["a"] = {k_id, 0, 0, 33188};
  EXPECT_EQ(serialize_index(index),
            "{\n"
            "  \"entries\": {\n"
            "    \"a\": {\n"
            "      \"hash\": \"" +
                k_id +
                "\",\n"
                "      \"mode\": 33188,\n"
                "      \"mtime\": 0,\n"
                "      \"size\": 0\n"
                "    },\n"
                "    \"b/ü.txt\": {\n"
                "      \"hash\": \"" +
                k_id +
                "\",\n"
                "      \"mode\": 33261,\n"
                "      \"mtime\": 13300000000,\n"
                "      \"size\": 5\n"
                "    }\n"
                "  },\n"
                "  \"version\": 2\n"
                "}");
}

TEST(ParseIndex, SkipsEntriesWithoutHashAndNonObjects) {
  Index index = parse_index(R"({"version": 2, "entries": {
      "keep": {"hash": "h", "size": 1},
      "empty": {"hash": ""},
      "missing": {"size": 3},
      "scalar": 5}})");
  ASSERT_EQ(index.size(), 1u);
  EXPECT_EQ(index["keep"].size, 1u);
  EXPECT_EQ(index["keep"].mtime, 0u);
  EXPECT_TRUE(parse_index(R"({"version": 2, "entries": []})").empty());
  EXPECT_TRUE(parse_index("[1, 2]").empty());
  // A version below 2 or not a number means the old format of path to id.
  EXPECT_EQ(parse_index(R"({"version": "2", "x": "h"})").size(), 2u);
}

TEST(ParseIndex, ReportsDamage) {
  struct Case {
    const char* text;
    const char* message_part;
  } cases[] = {
      {"{\"version\": 2, \"entries\": {\"a\": {\"hash\": 7}}}",
       "type must be string, but is number"},
      {"{\"version\": 2, \"entries\": {\"a\": {\"hash\": \"h\", \"size\": \"1\"}}}",
       "type must be number, but is string"},
      {"{\"a\": 5}", "type must be string, but is number"},
      {"", "parse error"},
  };
  for (const Case& c : cases) {
    try {
      parse_index(c.text);
      ADD_FAILURE() << c.text;
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find(c.message_part), std::string::npos) << e.what();
    }
  }
}

TEST(LoadIndex, MissingFileIsEmptyAndSaveRewritesTheOldFormat) {
  TempDir dir;
  Repository repo(dir.path());
  EXPECT_TRUE(load_index(repo).empty());
  write_text(dir / ".orrery/index", R"({"a": ")" + k_id + "\"}");
  save_index(repo, load_index(repo));
  EXPECT_EQ(read_text(dir / ".orrery/index"),
            "{\n  \"entries\": {\n    \"a\": {\n      \"hash\": \"" + k_id +
                "\",\n      \"mode\": 0,\n      \"mtime\": 0,\n      \"size\": 0\n    }\n  },\n"
                "  \"version\": 2\n}");
}

}  // namespace
