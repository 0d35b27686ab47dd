#include "store/index.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <nlohmann/json.hpp>
#include <optional>

#include "store/fs.h"
#include "store/internal/canonical_json.h"
#include "store/object.h"
#include "store/repo.h"

// .orrery/index is JSON, dumped with an indent of two:
//
//   {"entries": {"<path>": {"hash": "<id>", "mode": N, "mtime": N, "size": N},
//                ...},
//    "version": 2}
//
// Entries are keyed by path in byte order. The old format, still read, maps
// each path straight to its blob id: {"<path>": "<id>", ...}.

using nlohmann::json;

namespace {

const char* json_type_name(json::value_t type) {
  switch (type) {
    case json::value_t::null:
      return "null";
    case json::value_t::object:
      return "object";
    case json::value_t::array:
      return "array";
    case json::value_t::string:
      return "string";
    case json::value_t::boolean:
      return "boolean";
    case json::value_t::binary:
      return "binary";
    default:
      return "number";
  }
}

// A JSON number as the unsigned value reading it as uint64_t gave.
struct Number {
  uint64_t value = 0;
  std::optional<std::string> wrong_type;  // the type name when it was no number
};

// Reads the index as a stream of events straight into Index entries, so ten
// thousand entries cost no document of ten thousand maps. Both formats are
// collected at once because "version", which tells them apart, may come
// last; what each format refuses is remembered and reported only when the
// document turns out to be of that format. As with a whole document, the
// last of duplicate members counts.
class IndexReader : public nlohmann::json_sax<json> {
 public:
  bool null() override { return value(json::value_t::null); }
  bool boolean(bool) override { return value(json::value_t::boolean); }
  bool number_integer(number_integer_t n) override {
    return number(static_cast<uint64_t>(n), json::value_t::number_integer, static_cast<double>(n));
  }
  bool number_unsigned(number_unsigned_t n) override {
    return number(n, json::value_t::number_unsigned, static_cast<double>(n));
  }
  bool number_float(number_float_t n, const string_t&) override {
    return number(static_cast<uint64_t>(n), json::value_t::number_float, n);
  }
  bool binary(binary_t&) override { return value(json::value_t::binary); }
  bool string(string_t& text) override {
    if (depth_ == 1) {
      old_format_[key_] = IndexEntry{std::move(text), 0, 0, 0};
      return top_level_value(json::value_t::string);
    }
    if (depth_ == 3 && in_entries_ && field_ == 0) {
      entry_.hash = std::move(text);
      hash_error_.reset();
      return true;
    }
    return value(json::value_t::string);
  }
  bool key(string_t& name) override {
    if (depth_ == 1) key_ = name;
    if (depth_ == 2 && in_entries_) path_ = name;
    if (depth_ == 3 && in_entries_) field_ = field_index(name);
    return true;
  }
  bool start_object(std::size_t) override { return open(json::value_t::object); }
  bool start_array(std::size_t) override { return open(json::value_t::array); }
  bool end_object() override { return close(); }
  bool end_array() override { return close(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) override {
    throw std::runtime_error(e.what());
  }

  Index finish() {
    if (!top_is_object_) return {};
    if (version_ && *version_ >= 2) {
      if (entries_error_) throw std::runtime_error(*entries_error_);
      return std::move(entries_);
    }
    if (!old_format_errors_.empty()) {
      throw std::runtime_error("type must be string, but is " + old_format_errors_.begin()->second);
    }
    return std::move(old_format_);
  }

 private:
  static int field_index(const std::string& name) {
    if (name == "hash") return 0;
    if (name == "size") return 1;
    if (name == "mtime") return 2;
    if (name == "mode") return 3;
    return -1;
  }

  // A member of the top-level object replaces whatever its key held before.
  bool top_level_value(json::value_t type) {
    if (type != json::value_t::string) {
      old_format_.erase(key_);
      old_format_errors_[key_] = json_type_name(type);
    } else {
      old_format_errors_.erase(key_);
    }
    if (key_ == "version") version_.reset();
    if (key_ == "entries") entries_.clear(), entries_error_.reset();
    return true;
  }
  bool number(uint64_t n, json::value_t type, double as_double = 0) {
    if (depth_ == 1) {
      top_level_value(type);
      if (key_ == "version") version_ = as_double;
      return true;
    }
    if (depth_ == 3 && in_entries_ && field_ > 0) {
      stats_[field_ - 1] = Number{n, std::nullopt};
      return true;
    }
    return value(type);
  }
  bool value(json::value_t type) {
    if (depth_ == 1) return top_level_value(type);
    if (depth_ == 2 && in_entries_) entries_.erase(path_);  // not an entry object
    if (depth_ == 3 && in_entries_) wrong_field_type(type);
    return true;
  }
  void wrong_field_type(json::value_t type) {
    if (field_ == 0) hash_error_ = json_type_name(type);
    if (field_ > 0) stats_[field_ - 1] = Number{0, json_type_name(type)};
  }
  bool open(json::value_t type) {
    if (depth_ == 0) top_is_object_ = type == json::value_t::object;
    if (depth_ == 1 && top_is_object_) {
      top_level_value(type);
      in_entries_ = key_ == "entries" && type == json::value_t::object;
    }
    if (depth_ == 2 && in_entries_) {
      if (type == json::value_t::object) start_entry();
      if (type != json::value_t::object) entries_.erase(path_);
    }
    if (depth_ == 3 && in_entries_) wrong_field_type(type);
    ++depth_;
    return true;
  }
  void start_entry() {
    entry_open_ = true;
    entry_ = IndexEntry{};
    hash_error_.reset();
    stats_ = {};
    field_ = -1;
  }
  bool close() {
    --depth_;
    if (depth_ == 1) in_entries_ = false;
    if (depth_ == 2 && entry_open_) finish_entry();
    return true;
  }
  void finish_entry() {
    entry_open_ = false;
    if (hash_error_) return note_entries_error("type must be string, but is " + *hash_error_);
    for (const Number& stat : stats_) {
      if (stat.wrong_type)
        return note_entries_error("type must be number, but is " + *stat.wrong_type);
    }
    entry_.size = stats_[0].value;
    entry_.mtime = stats_[1].value;
    entry_.mode = static_cast<uint32_t>(stats_[2].value);
    if (entry_.hash.empty()) {
      entries_.erase(path_);
    } else {
      entries_[path_] = std::move(entry_);
    }
  }
  void note_entries_error(std::string message) {
    if (!entries_error_) entries_error_ = std::move(message);
  }

  int depth_ = 0;
  bool top_is_object_ = false;
  std::string key_;  // the current member of the top-level object
  std::optional<double> version_;
  Index old_format_;                                      // top-level string members
  std::map<std::string, std::string> old_format_errors_;  // other members: type names
  bool in_entries_ = false;
  Index entries_;
  std::optional<std::string> entries_error_;
  std::string path_;
  bool entry_open_ = false;
  IndexEntry entry_;
  int field_ = -1;
  std::optional<std::string> hash_error_;
  std::array<Number, 3> stats_;  // size, mtime, mode
};

// One entry of the current format exactly as serialize_index lays it out;
// false (the reader's ok cleared) for anything else.
bool read_canonical_entry(CanonicalReader& in, std::string& path, IndexEntry& entry) {
  uint64_t mode = 0;
  in.literal("    ") && in.string(path) && in.literal(": {\n      \"hash\": ") &&
      in.string(entry.hash) && in.literal(",\n      \"mode\": ") && in.number(mode) &&
      in.literal(",\n      \"mtime\": ") && in.number(entry.mtime) &&
      in.literal(",\n      \"size\": ") && in.number(entry.size) && in.literal("\n    }");
  entry.mode = static_cast<uint32_t>(mode);
  return in.ok;
}

// The text serialize_index writes, read without building a JSON document:
// a 10,000-entry index is read on every status. Nothing when the text has
// any other shape (or its paths are not strictly ascending), so the full
// parser decides.
std::optional<Index> parse_canonical_index(std::string_view text) {
  CanonicalReader in{text};
  Index index;
  if (!in.literal("{\n  \"entries\": ")) return std::nullopt;
  if (!in.maybe("{}")) {
    in.literal("{\n");
    std::string path;
    IndexEntry entry;
    while (read_canonical_entry(in, path, entry)) {
      if (!index.empty() && !(index.rbegin()->first < path)) return std::nullopt;
      if (!entry.hash.empty()) index.emplace_hint(index.end(), path, entry);
      if (!in.maybe(",\n")) break;
    }
    in.literal("\n  }");
  }
  in.literal(",\n  \"version\": 2\n}");
  if (!in.at_end()) return std::nullopt;
  return index;
}

}  // namespace

Index parse_index(std::string_view text) {
  if (std::optional<Index> index = parse_canonical_index(text)) return std::move(*index);
  IndexReader reader;
  json::sax_parse(text, &reader);
  return reader.finish();
}

std::string serialize_index(const Index& index) {
  json entries = json::object();
  for (const auto& [path, entry] : index) {
    entries[path] = {
        {"hash", entry.hash}, {"size", entry.size}, {"mtime", entry.mtime}, {"mode", entry.mode}};
  }
  json document = {{"version", 2}, {"entries", std::move(entries)}};
  return document.dump(2);
}

Index load_index(const Repository& repo) {
  const std::string path = orrery_path(repo, "index");
  // Mapped rather than read: a 10,000-entry index is 2 MB, and mapping the
  // cached pages costs less than copying them into fresh memory.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (!path_exists(path)) return {};
    throw std::runtime_error("Cannot open file for reading: " + path);
  }
  struct stat st;
  void* mapped = MAP_FAILED;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    mapped = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE,
                    fd, 0);
  }
  ::close(fd);
  if (mapped == MAP_FAILED) return parse_index(read_file(path));
  struct Unmap {
    void* at;
    size_t size;
    ~Unmap() { ::munmap(at, size); }
  } unmap{mapped, static_cast<size_t>(st.st_size)};
  return parse_index(std::string_view(static_cast<const char*>(mapped), unmap.size));
}

void save_index(const Repository& repo, const Index& index) {
  flush_pending_objects();  // the index must not name an object not yet on disk
  write_file_atomic(orrery_path(repo, "index"), serialize_index(index));
}
