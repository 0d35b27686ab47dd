#include "store/index.h"

#include <gtest/gtest.h>

#include "store/errors.h"
#include "store/fs.h"
#include "store/repo.h"
#include "support/test_support.h"

using testing_support::read_text;
using testing_support::TempDir;
using testing_support::write_text;

namespace {

const std::string k_id(64, 'a');

TEST(ParseIndex, SkipsEntriesWithoutHashAndNonObjects) {
  Index index = parse_index(R"({"version": 2, "entries": {
      "keep": {"hash": ")" + k_id +
                            R"(", "size": 1},
      "empty": {"hash": ""},
      "missing": {"size": 3},
      "scalar": 5}})");
  ASSERT_EQ(index.size(), 1u);
  EXPECT_EQ(index["keep"].size, 1u);
  EXPECT_EQ(index["keep"].mtime, 0u);
  EXPECT_TRUE(parse_index(R"({"version": 2, "entries": []})").empty());
  EXPECT_TRUE(parse_index("[1, 2]").empty());
  // A version that is not a number means the old format of path to id, where
  // "version" is a path too; there as well an empty id drops its entry.
  EXPECT_EQ(parse_index(R"({"version": "", "x": ")" + k_id + R"("})").size(), 1u);
}

// Whatever a hostile index holds, it is refused whole, naming why.
TEST(ParseIndex, ReportsDamage) {
  const auto entry = [](const std::string& path, const std::string& members) {
    return R"({"version": 2, "entries": {")" + path + R"(": {"hash": ")" + k_id + "\"" + members +
           "}}}";
  };
  const std::pair<std::string, std::string> cases[] = {
      {R"({"version": 2, "entries": {"a": {"hash": 7}}})", "invalid object id for a"},
      {R"({"version": 2, "entries": {"a": {"hash": "h"}}})", "invalid object id for a"},
      {entry("a", R"(, "size": "1")"), "size out of range for a"},
      {entry("a", R"(, "mtime": -1)"), "mtime out of range for a"},
      {entry("a", R"(, "size": 1.5)"), "size out of range for a"},
      {entry("a", R"(, "size": 18446744073709551616)"), "size out of range for a"},
      {entry("a", R"(, "mode": 4294967296)"), "mode out of range for a"},
      {entry("../x", ""), "unsafe path ../x"},
      {entry("/abs", ""), "unsafe path /abs"},
      {entry(".orrery/HEAD", ""), "unsafe path .orrery/HEAD"},
      {entry("a//b", ""), "unsafe path a//b"},
      {R"({"a": 5})", "invalid object id for a"},
      {R"({"../x": ")" + k_id + "\"}", "unsafe path ../x"},
      {"", "not valid JSON"},
  };
  for (const auto& [text, reason] : cases) {
    try {
      parse_index(text);
      ADD_FAILURE() << text;
    } catch (const RepositoryDamaged& e) {
      EXPECT_EQ(std::string(e.what()), "Damaged index: " + reason) << text;
    }
  }
  // The same entries in exactly the layout serialize_index writes.
  Index hostile;
  hostile["../x"] = {k_id, 1, 1, 33188};
  EXPECT_THROW(parse_index(serialize_index(hostile)), RepositoryDamaged);
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
