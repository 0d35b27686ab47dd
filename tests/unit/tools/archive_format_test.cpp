#include "tools/archive_format.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

namespace {

ByteSink string_sink(std::string& out) {
  ByteSink sink;
  sink.write = [&out](std::string_view bytes) { out += bytes; };
  return sink;
}

std::string raw_inflate(std::string_view data, size_t size) {
  std::string out(size, '\0');
  z_stream s{};
  inflateInit2(&s, -MAX_WBITS);
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  s.avail_in = static_cast<uInt>(data.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&s, Z_FINISH), Z_STREAM_END);
  inflateEnd(&s);
  return out;
}

uint32_t u16_at(const std::string& b, size_t at) {
  return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}

uint32_t u32_at(const std::string& b, size_t at) { return u16_at(b, at) | u16_at(b, at + 2) << 16; }

TEST(UstarHeader, HoldsTheFixedFieldsByteForByte) {
  std::string expected(512, '\0');
  expected.replace(0, 6, "README");
  expected.replace(100, 48, "0000644 0000000 0000000 00000000005 14524770400 ");
  expected.replace(148, 8, std::string("007122 \0", 8));
  expected[156] = '0';
  expected.replace(257, 8,
                   std::string("ustar\0"
                               "00",
                               8));
  EXPECT_EQ(ustar_header("README", "100644", 5, 1700000000), expected);
}

TEST(UstarHeader, ClampsTheTimeToElevenOctalDigits) {
  EXPECT_EQ(ustar_header("a", "", 0, uint64_t{1} << 40).substr(136, 12), "77777777777 ");
}

TEST(SplitUstarPath, UsesTheRightmostSeparatorThatFits) {
  const struct {
    std::string path;
    size_t prefix_length;  // npos: cannot be split
  } cases[] = {
      {std::string(100, 'a'), 0},
      {std::string(120, 'd') + "/" + std::string(69, 'e') + "/" + std::string(9, 'f'), 120},
      {std::string(155, 'd') + "/" + std::string(100, 'n'), 155},
      {std::string(156, 'd') + "/" + std::string(100, 'n'), std::string::npos},
      {"/" + std::string(100, 'n'), std::string::npos},
  };
  for (const auto& c : cases) {
    std::optional<UstarPath> split = split_ustar_path(c.path);
    ASSERT_EQ(split.has_value(), c.prefix_length != std::string::npos) << c.path.size();
    if (!split) continue;
    EXPECT_EQ(split->prefix.size(), c.prefix_length);
    EXPECT_EQ(std::string(split->prefix) + (c.prefix_length ? "/" : "") + std::string(split->name),
              c.path);
  }
}

TEST(UstarPermissions, ReadsTheModeAsOctalWithAFallback) {
  const std::pair<std::string, uint32_t> cases[] = {
      {"100755", 0755}, {"", 0644}, {"100689", 0644}, {"40000", 0}, {"1234567", 04567},
  };
  for (const auto& [mode, bits] : cases) EXPECT_EQ(ustar_permissions(mode), bits) << mode;
}

TEST(DosTime, PacksTheUtcCalendarTime) {
  const struct {
    uint64_t timestamp;
    int year, month, day, hour, minute, second;
  } cases[] = {
      {1700000000, 2023, 11, 14, 22, 13, 20},
      {951782400 + 3661, 2000, 2, 29, 1, 1, 0},  // leap day; odd seconds halve down
      {0, 1970 + 128, 1, 1, 0, 0, 0},            // the year field wraps modulo 128
      {UINT64_MAX, 2038, 1, 19, 3, 14, 6},       // clamped to 2147483647
  };
  for (const auto& c : cases) {
    DosTime t = dos_time(c.timestamp);
    EXPECT_EQ(t.date, (c.year - 1980) << 9 | c.month << 5 | c.day) << c.timestamp;
    EXPECT_EQ(t.time, c.hour << 11 | c.minute << 5 | c.second / 2) << c.timestamp;
  }
}

// Python's zipfile checks CRCs, sizes and methods end to end; here the
// fields it does not look at.
TEST(ZipWriter, WritesRawDeflateAndTheFixedHeaderFields) {
  const std::string text(1000, 'a');
  std::string out;
  ByteSink sink = string_sink(out);
  ZipDirectory directory;
  write_zip_entry(sink, directory, "t", "100755", {1, 2}, text);
  const size_t second = out.size();
  write_zip_entry(sink, directory, "e", "", {1, 2}, "");

  EXPECT_EQ(u16_at(out, 8), 8u);
  EXPECT_EQ(raw_inflate(std::string_view(out).substr(31, u32_at(out, 18)), 1000), text);
  EXPECT_EQ(out.substr(second), std::string("PK\3\4\x0a\0\0\0\0\0\1\0\2\0", 14) +
                                    std::string(12, '\0') + std::string("\1\0\0\0", 4) + "e");
  EXPECT_EQ(u32_at(directory.records, 0), 0x02014b50u);
  EXPECT_EQ(u16_at(directory.records, 4), 0x0314u);
  EXPECT_EQ(directory.records.substr(6, 26), out.substr(4, 26));
  EXPECT_EQ(u32_at(directory.records, 38), 0100755u << 16);  // external attributes
  EXPECT_EQ(u32_at(directory.records, 47 + 38), 0100644u << 16);
  EXPECT_EQ(u32_at(directory.records, 47 + 42), second);  // the second record's offset
}

TEST(ZipWriter, RefusesWhatNeedsZip64) {
  std::string out;
  ByteSink sink = string_sink(out);
  ZipDirectory full;
  full.entries = 65535;
  EXPECT_THROW(write_zip_entry(sink, full, "x", "", {}, "x"), ArchiveError);
  ZipDirectory directory;
  EXPECT_THROW(write_zip_entry(sink, directory, std::string(65536, 'n'), "", {}, ""), ArchiveError);
  sink.position = uint64_t{1} << 32;
  try {
    write_zip_entry(sink, directory, "x", "", {}, "x");
    ADD_FAILURE();
  } catch (const ArchiveError& e) {
    EXPECT_STREQ(e.what(), "zip: смещение больше 4 ГиБ (нужен zip64)");
  }
  EXPECT_THROW(write_zip_end(sink, directory), ArchiveError);
  EXPECT_TRUE(out.empty());
}

}  // namespace
