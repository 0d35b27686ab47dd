// The store's JSON texts (trees, commits, the index, pack indexes) are
// written by appending and mostly read by hand-written readers that fall
// back to nlohmann::json for any other shape. Generated values with hostile strings
// and numbers check both against nlohmann: the writer must produce its dump
// byte for byte, and every reader must decide each text, intact or mutated,
// exactly as the full parser does. The full parser's verdict is reached by
// re-indenting the text by one, a layout no hand-written reader accepts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <nlohmann/json.hpp>
#include <random>

#include "store/errors.h"
#include "store/index.h"
#include "store/internal/pack_set.h"
#include "store/object.h"

namespace {

using nlohmann::json;

struct Gen {
  std::mt19937_64 rng{20261206};

  size_t below(size_t n) { return static_cast<size_t>(rng() % n); }
  bool chance(unsigned percent) { return below(100) < percent; }

  // Pieces that exercise every branch of the readers and the writer: escapes,
  // raw control bytes, multi-byte UTF-8 and invalid UTF-8 (cut, surrogate,
  // overlong, past U+10FFFF).
  std::string piece(bool hostile) {
    static const char* const plain[] = {
        "a", "file", ".txt", "Z9", "-", "dir name", "é", "файл", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
        "/", "x_y"};
    static const char* const nasty[] = {
        "\"",      "\\",   "\n",           "\t",       "\b",
        "\f",      "\r",   "\x01",         "\x1F",     "\x7F",
        "\\u0041", "\xC3", "\xED\xA0\x80", "\xC0\xAF", "\xF4\x90\x80\x80",
        "\xFF"};
    if (hostile && chance(30)) {
      if (chance(5)) return std::string(1, '\0');
      return nasty[below(std::size(nasty))];
    }
    return plain[below(std::size(plain))];
  }
  std::string text(bool hostile, size_t max_pieces = 6) {
    std::string out;
    for (size_t n = below(max_pieces) + 1; n > 0; --n) out += piece(hostile);
    return out;
  }
  std::string id() {
    if (chance(8)) return chance(50) ? "" : text(true);
    std::string out(64, '0');
    for (char& c : out) c = "0123456789abcdef"[below(16)];
    return out;
  }
  uint64_t number() {
    static const uint64_t edges[] = {
        0,         1, 33188, 33261, UINT32_MAX, uint64_t{UINT32_MAX} + 1, 9999999999999999999ULL,
        UINT64_MAX};
    return chance(40) ? edges[below(std::size(edges))] : rng() >> below(64);
  }

  Tree tree() {
    Tree tree;
    for (size_t n = below(6); n > 0; --n) {
      const bool dir = chance(30);
      tree.push_back({dir ? "40000" : "100644", dir ? "tree" : "blob", id(), text(chance(30))});
    }
    return tree;
  }
  Commit commit() {
    Commit c{id(), {}, text(chance(40)), text(chance(60), 12), number()};
    for (size_t n = below(4); n > 0; --n) c.parents.push_back(id());
    return c;
  }
  Index index() {
    Index index;
    for (size_t n = below(8); n > 0; --n) {
      std::string path = text(chance(15));
      if (chance(20)) path.append("/").append(text(false));
      // An empty id would drop the entry: the value could not come back.
      const std::string hash = id();
      index[path] = {hash.empty() ? "0" : hash, number(), number(),
                     static_cast<uint32_t>(number())};
    }
    return index;
  }

  // A byte replaced, dropped or inserted, a number made too large, negative,
  // fractional or zero-led, or a stretch between two commas repeated (a
  // member or an entry twice).
  std::string mutate(std::string text) {
    static const char alphabet[] = "\"\\{}[],: \n0123456789-.eu\x01\xC3\xFF";
    const size_t at = below(text.size() + 1);
    switch (below(5)) {
      case 0:
        if (at < text.size()) text[at] = alphabet[below(sizeof alphabet - 1)];
        break;
      case 1:
        if (at < text.size()) text.erase(at, 1);
        break;
      case 2:
        text.insert(at, 1, alphabet[below(sizeof alphabet - 1)]);
        break;
      case 3: {
        static const char* const prefixes[] = {"184467440737095516", "0", "-", "1.5", "1e"};
        size_t digit = text.find_first_of("0123456789", at);
        if (digit == std::string::npos) break;
        while (digit > 0 && std::isdigit(static_cast<unsigned char>(text[digit - 1]))) --digit;
        text.insert(digit, prefixes[below(std::size(prefixes))]);
        break;
      }
      default: {
        const size_t first = text.find(',', at);
        const size_t second = first == std::string::npos ? first : text.find(',', first + 1);
        if (second != std::string::npos) {
          text.insert(second + 1, text.substr(first + 1, second - first));
        }
      }
    }
    return text;
  }
};

// parse gives the same value for the text as for its re-indented copy, or
// throws RepositoryDamaged for both (and for text that is not JSON).
template <typename F>
void expect_same_verdict(const std::string& text, F parse) {
  SCOPED_TRACE(json(text).dump(-1, ' ', true, json::error_handler_t::replace));
  json document = json::parse(text, nullptr, /*allow_exceptions=*/false);
  try {
    if (document.is_discarded()) throw RepositoryDamaged("not JSON");
    const auto expected = parse(document.dump(1));
    EXPECT_EQ(parse(text), expected);
  } catch (const RepositoryDamaged&) {
    EXPECT_THROW(parse(text), RepositoryDamaged);
  }
}

// The text, or nothing when the JSON writer throws (a string not UTF-8).
template <typename F>
std::optional<std::string> text_of(F write) {
  try {
    return write();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// Generated values must be written as `reference` dumps them and read back,
// intact or mutated, as the full parser reads them.
template <typename Make, typename Reference, typename Write, typename Read>
void check_format(Make make, Reference reference, Write write, Read read) {
  Gen gen;
  for (int i = 0; i < 400; ++i) {
    const auto value = make(gen);
    const auto text = text_of([&] { return write(value); });
    ASSERT_EQ(text, text_of([&] { return reference(value); })) << i;
    if (!text) continue;
    try {
      EXPECT_EQ(read(*text), value) << i;  // unless the value is one no reader may accept
    } catch (const RepositoryDamaged&) {
    }
    expect_same_verdict(*text, read);
    for (int m = 0; m < 12; ++m) expect_same_verdict(gen.mutate(*text), read);
  }
}

TEST(CanonicalJson, TreesAreWrittenAsNlohmannDumpsAndReadAsItReads) {
  const auto reference = [](const Tree& tree) {
    json array = json::array();
    for (const TreeEntry& e : tree) {
      array.push_back({{"mode", e.mode}, {"type", e.type}, {"hash", e.hash}, {"path", e.path}});
    }
    return array.dump();
  };
  check_format([](Gen& gen) { return gen.tree(); }, reference, serialize_tree, parse_tree);
}

TEST(CanonicalJson, CommitsAreWrittenAsNlohmannDumpsAndReadAsItReads) {
  const auto reference = [](const Commit& c) {
    json object = {
        {"tree", c.tree}, {"author", c.author}, {"message", c.message}, {"timestamp", c.timestamp}};
    if (c.parents.size() == 1) object["parent"] = c.parents[0];
    if (!c.parents.empty()) object["parents"] = c.parents;
    return object.dump();
  };
  check_format([](Gen& gen) { return gen.commit(); }, reference, serialize_commit, parse_commit);
}

TEST(CanonicalJson, IndexesAreWrittenAsNlohmannDumpsAndReadAsItReads) {
  const auto reference = [](const Index& index) {
    json entries = json::object();
    for (const auto& [path, e] : index) {
      entries[path] = {{"hash", e.hash}, {"size", e.size}, {"mtime", e.mtime}, {"mode", e.mode}};
    }
    return json{{"version", 2}, {"entries", std::move(entries)}}.dump(2);
  };
  check_format([](Gen& gen) { return gen.index(); }, reference, serialize_index, parse_index);
}

// Pack indexes as the pack writer dumps them: each id bisected from the
// text, where the bisection can read its entry, must be what the full
// parser's table holds.
TEST(CanonicalJson, PackIndexesAreReadAsTheFullParserReadsThem) {
  Gen gen;
  for (int i = 0; i < 400; ++i) {
    json index = json::object();
    for (size_t n = gen.below(12); n > 0; --n) {
      const std::string id = gen.id();
      index[id] = gen.chance(60) ? json{{"compressed", gen.number()},
                                        {"offset", gen.number()},
                                        {"raw", gen.number()},
                                        {"type", "full"}}
                                 : json{{"base", gen.id()},
                                        {"offset", gen.number()},
                                        {"prefix", gen.number()},
                                        {"suffix", gen.number()},
                                        {"type", "delta"}};
    }
    const auto text = text_of([&] { return index.dump(2); });
    if (!text) continue;
    const std::vector<IndexedPack::Slot> table = parse_index_slots(*text);
    for (const auto& [id, entry] : index.items()) {
      bool usable = false;
      const auto slot = find_written_slot(*text, id, usable);
      if (!usable) continue;  // an entry the bisection cannot read: the table decides
      // Named again: clang 14 cannot capture a structured binding.
      auto in_table =
          std::find_if(table.begin(), table.end(), [key = std::string_view(id)](const auto& s) {
            return std::string_view(s.id.data(), s.id.size()) == key;
          });
      ASSERT_EQ(slot.has_value(), in_table != table.end()) << id;
      if (slot) {
        EXPECT_EQ(slot->offset, in_table->offset);
        EXPECT_EQ(slot->length, in_table->length);
      }
    }
    for (std::string absent : {std::string(64, '0'), std::string(64, 'f'), gen.id()}) {
      if (index.contains(absent)) continue;
      bool usable = false;
      EXPECT_FALSE(find_written_slot(*text, absent, usable)) << absent;
    }
  }
}

}  // namespace
