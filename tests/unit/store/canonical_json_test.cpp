// The fast readers of the index and of trees must decide every text exactly
// as the full JSON parser does: the expected values below come from
// nlohmann::json directly.
#include "store/canonical_json.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "store/errors.h"
#include "store/index.h"
#include "store/object.h"

namespace {

using nlohmann::json;

Tree tree_by_full_parser(std::string_view text) {
  Tree tree;
  for (const json& e : json::parse(text)) {
    tree.push_back({e.value("mode", std::string()), e.value("type", std::string()),
                    e.value("hash", std::string()), e.value("path", std::string())});
  }
  return tree;
}

TEST(ParseTree, ReadsWhatSerializeTreeWritesIncludingUnicodeNames) {
  Tree tree{{"100644", "blob", std::string(64, 'a'), "файл.txt"},
            {"40000", "tree", std::string(64, 'b'), "dir with space"},
            {"100644", "blob", std::string(64, 'c'), "emoji-\xF0\x9F\x98\x80"}};
  const std::string text = serialize_tree(tree);
  EXPECT_EQ(parse_tree(text), tree);
  EXPECT_TRUE(parse_tree("[]").empty());
}

TEST(ParseTree, AgreesWithTheFullParserOnOtherShapes) {
  const char* texts[] = {
      R"([{"path":"a","hash":"h","type":"blob","mode":"100644"}])",  // other key order
      R"([ {"hash":"h","mode":"m","path":"p","type":"t"} ])",        // spaces
      R"([{"hash":"h","mode":"m","path":"a\"b\\c\n","type":"t"}])",  // escapes
      R"([{"hash":"h","mode":"m","path":"\u00e9","type":"t"}])",     // unicode escape
      R"([{"hash":"h","mode":"m","path":"p"}])",                     // missing member
      R"([{"hash":"h","mode":"m","path":"p","type":"t"}]  )",        // trailing blanks
  };
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    EXPECT_EQ(parse_tree(text), tree_by_full_parser(text));
  }
}

TEST(ParseTree, RejectsWhatTheFullParserRejects) {
  const std::string texts[] = {
      "[{\"hash\":\"h\",\"mode\":\"m\",\"path\":\"\xC3\",\"type\":\"t\"}]",          // cut UTF-8
      "[{\"hash\":\"h\",\"mode\":\"m\",\"path\":\"\xED\xA0\x80\",\"type\":\"t\"}]",  // surrogate
      "[{\"hash\":\"h\",\"mode\":\"m\",\"path\":\"\xC0\xAF\",\"type\":\"t\"}]",      // overlong
      "[{\"hash\":\"h\",\"mode\":\"m\",\"path\":\"a\tb\",\"type\":\"t\"}]",          // raw tab
      "[{\"hash\":\"h\",\"mode\":\"m\",\"path\":\"p\",\"type\":\"t\"}",              // truncated
      "[{\"hash\":\"h\",\"mode\":\"m\",\"path\":\"p\",\"type\":\"t\"}]x",            // junk after
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    EXPECT_THROW({ const json parsed = json::parse(text); }, json::exception);
    EXPECT_THROW(parse_tree(text), std::exception);
  }
  // Members of the wrong type fail where the full parser's conversion would.
  EXPECT_ANY_THROW(parse_tree(R"([1])"));
  EXPECT_ANY_THROW(parse_tree(R"([{"path":3}])"));
}

TEST(SerializeTree, WritesWhatTheJsonWriterWrites) {
  const Tree trees[] = {
      {},
      {{"100644", "blob", std::string(64, 'a'), "plain.txt"},
       {"40000", "tree", std::string(64, 'b'), "каталог"}},
      {{"100644", "blob", "h", "quote\"back\\slash"}},
      {{"100644", "blob", "h", "tab\there"}},
  };
  for (const Tree& tree : trees) {
    json array = json::array();
    for (const TreeEntry& e : tree) {
      array.push_back({{"mode", e.mode}, {"type", e.type}, {"hash", e.hash}, {"path", e.path}});
    }
    EXPECT_EQ(serialize_tree(tree), array.dump());
  }
}

TEST(CanonicalReader, ReadsExactlyThe64BitUnsignedNumbers) {
  const std::pair<std::string, bool> cases[] = {
      {"0", true},
      {"18446744073709551615", true},
      {"18446744073709551616", false},  // 2^64
      {"28446744073709551615", false},  // wraps to a 20-digit value
      {"99999999999999999999", false},
      {"100000000000000000000", false},
      {"01", false},
      {"1.5", false},
      {"", false},
  };
  for (const auto& [text, fits] : cases) {
    CanonicalReader in{text};
    uint64_t value = 0;
    EXPECT_EQ(in.number(value) && in.at_end(), fits) << text;
    if (fits) {
      EXPECT_EQ(std::to_string(value), text);
    }
  }
}

TEST(SerializeIndex, WritesWhatTheJsonWriterWrites) {
  Index plain, escaped;
  plain["a.txt"] = {std::string(64, '1'), 5, 13300000000ULL, 33188};
  plain["dir/файл"] = {std::string(64, '2'), UINT64_MAX, 0, 33261};
  escaped = plain;
  escaped["quote\"d\tname"] = {"h", 0, 0, 0};
  for (const Index& index : {Index{}, plain, escaped}) {
    json entries = json::object();
    for (const auto& [path, e] : index) {
      entries[path] = {{"hash", e.hash}, {"size", e.size}, {"mtime", e.mtime}, {"mode", e.mode}};
    }
    EXPECT_EQ(serialize_index(index),
              (json{{"version", 2}, {"entries", std::move(entries)}}).dump(2));
  }
}

TEST(ParseIndex, ReadsWhatSerializeIndexWrites) {
  Index index;
  index["a.txt"] = {std::string(64, '1'), 5, 13300000000ULL, 33188};
  index["dir/файл"] = {std::string(64, '2'), UINT64_MAX, 0, 33261};
  const std::string text = serialize_index(index);
  Index back = parse_index(text);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back.at("dir/файл").size, UINT64_MAX);
  EXPECT_EQ(back.at("a.txt").mtime, 13300000000ULL);
  EXPECT_EQ(back.at("dir/файл").mode, 33261u);
  EXPECT_EQ(serialize_index(back), text);
  EXPECT_TRUE(parse_index(serialize_index({})).empty());
}

TEST(ParseIndex, FallsBackForTextsOfAnotherShape) {
  const std::string id(64, 'a');
  // Indented differently, with an empty hash (dropped), a float, and the old format.
  EXPECT_EQ(parse_index("{\"entries\":{\"a\":{\"hash\":\"" + id +
                        "\",\"size\":1},\"b\":{\"hash\":\"\"}},\"version\":2}")
                .size(),
            1u);
  EXPECT_EQ(parse_index("{\"version\": 2.5, \"entries\": {\"x\": {\"hash\": \"" + id +
                        "\", \"mtime\": 7}}}")
                .at("x")
                .mtime,
            7u);
  EXPECT_EQ(parse_index("{\"p\": \"" + id + "\"}").at("p").hash, id);  // the old format
  // A negative number leaves the fast path; the full parser refuses it.
  EXPECT_THROW(parse_index("{\n  \"entries\": {\n    \"a\": {\n      \"hash\": \"" + id +
                           "\",\n      \"mode\": -1,\n      \"mtime\": 0,\n      \"size\": 0\n"
                           "    }\n  },\n  \"version\": 2\n}"),
               RepositoryDamaged);
}

TEST(ParseIndex, KeepsTheLastOfRepeatedPathsAsTheFullParserDoes) {
  const std::string entry =
      "{\n      \"hash\": \"%\",\n      \"mode\": 0,\n      \"mtime\": 0,\n"
      "      \"size\": 0\n    }";
  std::string first = entry, second = entry;
  first.replace(first.find('%'), 1, std::string(64, '1'));
  second.replace(second.find('%'), 1, std::string(64, '2'));
  Index index = parse_index("{\n  \"entries\": {\n    \"a\": " + first + ",\n    \"a\": " + second +
                            "\n  },\n  \"version\": 2\n}");
  EXPECT_EQ(index.at("a").hash, std::string(64, '2'));
}

Commit commit_by_full_parser(std::string_view text) {
  const json document = json::parse(text);
  Commit commit;
  const char* list = document.contains("parents") ? "parents" : "parent";
  if (document.contains(list)) {
    if (document[list].is_array()) {
      for (const json& p : document[list]) commit.parents.push_back(p.get<std::string>());
    } else {
      commit.parents.push_back(document[list].get<std::string>());
    }
  }
  commit.tree = document.value("tree", std::string());
  commit.author = document.value("author", std::string());
  commit.message = document.value("message", std::string());
  commit.timestamp = document.value("timestamp", uint64_t{0});
  return commit;
}

TEST(ParseCommit, ReadsWhatSerializeCommitWritesAsTheFullParserDoes) {
  const std::string a(64, 'a'), b(64, 'b'), t(64, 't');
  const Commit commits[] = {
      {t, {}, "root", "first", 1},
      {t, {a}, "тестер", "subject\n\nbody \"quoted\" \\ tab\there\r/ \b\f", 1700000000},
      {t, {a, b}, "orrery", "merge", UINT64_MAX},
      {t, {a}, "ctl", std::string("nul\0bell\x07", 8), 5},  // \u escapes
  };
  for (const Commit& commit : commits) {
    const std::string text = serialize_commit(commit);
    SCOPED_TRACE(text);
    EXPECT_EQ(parse_commit(text), commit);
    EXPECT_EQ(parse_commit(text), commit_by_full_parser(text));
  }
  const char* others[] = {
      R"({"tree":"t","author":"x","message":"m","timestamp":3})",               // other order
      R"({"author":"x","message":"m","parent":"p","timestamp":3,"tree":"t"})",  // parent only
      R"({"author":"x","message":"a\/b","parent":"p","parents":["q"],"timestamp":3,"tree":"t"})",
      R"({"author":"x","message":"m","parents":[],"timestamp":3,"tree":"t"})",
      R"({"author":"x","message":"\u00e9","timestamp":3,"tree":"t"})",
  };
  for (const char* text : others) {
    SCOPED_TRACE(text);
    EXPECT_EQ(parse_commit(text), commit_by_full_parser(text));
  }
  EXPECT_THROW(parse_commit(R"({"author":"x","message":"a\qb","timestamp":3,"tree":"t"})"),
               RepositoryDamaged);
}

}  // namespace
