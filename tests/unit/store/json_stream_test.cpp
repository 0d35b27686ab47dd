// parse_tree and parse_index read JSON as a stream of events. These tests hold
// them to what reading the whole document gives, on canonical and odd inputs.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "store/index.h"
#include "store/object.h"

namespace {

using nlohmann::json;

Tree document_tree(std::string_view bytes) {
  json document = json::parse(bytes);
  Tree tree;
  for (const json& element : document) {
    tree.push_back({element.value("mode", std::string()), element.value("type", std::string()),
                    element.value("hash", std::string()), element.value("path", std::string())});
  }
  return tree;
}

uint64_t number_member(const json& object, const char* name) {
  auto it = object.find(name);
  return it == object.end() ? 0 : it->get<uint64_t>();
}

Index document_index(std::string_view text) {
  json document = json::parse(text);
  if (!document.is_object()) return {};
  Index index;
  auto version = document.find("version");
  if (version != document.end() && version->is_number() && version->get<double>() >= 2) {
    auto entries = document.find("entries");
    if (entries == document.end() || !entries->is_object()) return index;
    for (const auto& [path, value] : entries->items()) {
      if (!value.is_object()) continue;
      IndexEntry entry;
      if (auto hash = value.find("hash"); hash != value.end())
        entry.hash = hash->get<std::string>();
      entry.size = number_member(value, "size");
      entry.mtime = number_member(value, "mtime");
      entry.mode = static_cast<uint32_t>(number_member(value, "mode"));
      if (!entry.hash.empty()) index.emplace(path, std::move(entry));
    }
    return index;
  }
  for (const auto& [path, value] : document.items()) {
    index.emplace(path, IndexEntry{value.get<std::string>(), 0, 0, 0});
  }
  return index;
}

std::string describe(const Tree& tree) {
  std::string text;
  for (const TreeEntry& e : tree) text += e.mode + "|" + e.type + "|" + e.hash + "|" + e.path + ";";
  return text;
}

std::string describe(const Index& index) {
  std::string text;
  for (const auto& [path, e] : index) {
    text += path + "=" + e.hash + "," + std::to_string(e.size) + "," + std::to_string(e.mtime) +
            "," + std::to_string(e.mode) + ";";
  }
  return text;
}

// The result, or "throws" and the error's type-mismatch part.
template <typename Parse>
std::string outcome(Parse parse, const std::string& text) {
  try {
    return describe(parse(text));
  } catch (const std::exception& e) {
    std::string what = e.what();
    size_t part = what.find("type must be");
    if (part == std::string::npos) part = what.find("cannot use");
    return "throws " + (part == std::string::npos ? std::string("other") : what.substr(part));
  }
}

TEST(ParseTree, AgreesWithReadingTheWholeDocument) {
  const char* cases[] = {
      R"([{"hash":"h","mode":"100644","path":"a","type":"blob"}])",
      R"([{"path":"a","path":"b","extra":{"path":"c"},"list":[1,{"x":2}]}])",
      R"({"one":{"path":"x"},"two":{"path":"y"}})",
      R"([])",
      R"(null)",
      R"("text")",
      R"([1])",
      R"([[]])",
      R"([null])",
      R"([{"path":3}])",
      R"([{"mode":{"a":1}}])",
      R"([{"type":[]}])",
      R"([{"hash":null}])",
      R"([{"path":5,"path":"fixed"}])",
      R"([{"path":"fine"},{"mode":true}])",
      R"([{"path":"caf\u00e9 \"q\"\n"}])",
  };
  for (const char* text : cases) {
    EXPECT_EQ(outcome(parse_tree, text), outcome(document_tree, text)) << text;
  }
  EXPECT_ANY_THROW(parse_tree("[{"));
}

TEST(ParseIndex, AgreesWithReadingTheWholeDocument) {
  const char* cases[] = {
      R"({"entries":{"a":{"hash":"h","mode":33188,"mtime":5,"size":7}},"version":2})",
      R"({"version":2,"entries":{"a":{"hash":"h","size":1.9,"mtime":true,"mode":4294967297}}})",
      R"({"version":2.5,"entries":{"a":{"hash":"h","size":-1}}})",
      R"({"version":1,"entries":{"a":{"hash":"h"}}})",
      R"({"version":"2","a":"h"})",
      R"({"version":null})",
      R"({"a":"h","b":"i","a":"j"})",
      R"({"a":"h","a":5})",
      R"({"a":5,"a":"h"})",
      R"({"entries":{"a":{"hash":"h"}},"version":2,"entries":"gone"})",
      R"({"entries":"x","version":2,"entries":{"b":{"hash":"i"}}})",
      R"({"version":2,"entries":{"a":{"hash":"h"},"a":{"hash":""}}})",
      R"({"version":2,"entries":{"a":{"hash":"h"},"a":5,"b":[{"hash":"x"}]}})",
      R"({"version":2,"entries":{"a":{"hash":7}}})",
      R"({"version":2,"entries":{"a":{"hash":7,"hash":"fixed"}}})",
      R"({"version":2,"entries":{"a":{"hash":"h","size":"1"}}})",
      R"({"version":2,"entries":{"a":{"hash":"h","mode":{"deep":[1]}}}})",
      R"({"version":2,"entries":{"a":{"hash":"h","other":{"hash":5}}}})",
      R"({"version":2,"entries":[]})",
      R"({"version":2})",
      R"([1,2])",
      R"("text")",
      R"({})",
  };
  for (const char* text : cases) {
    EXPECT_EQ(outcome(parse_index, text), outcome(document_index, text)) << text;
  }
}

}  // namespace
