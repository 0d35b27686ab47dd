#include "store/pack_record.h"

#include <gtest/gtest.h>

namespace {

const std::string k_id(64, 'a');
const std::string k_base(64, 'b');

TEST(RecordHeader, ParsesBothRecordTypes) {
  // The parsed fields are views into the line, which must outlive them.
  const std::string full_line = "  F\t" + k_id + "  12 \t18446744073709551615 ";
  std::optional<RecordHeader> full = parse_record_header(full_line);
  ASSERT_TRUE(full);
  EXPECT_EQ(full->type, 'F');
  EXPECT_EQ(full->id, k_id);
  EXPECT_EQ(full->first, 12u);
  EXPECT_EQ(full->second, UINT64_MAX);

  const std::string delta_line = "D " + k_id + " " + k_base + " 0 7";
  std::optional<RecordHeader> delta = parse_record_header(delta_line);
  ASSERT_TRUE(delta);
  EXPECT_EQ(delta->type, 'D');
  EXPECT_EQ(delta->base, k_base);
  EXPECT_EQ(delta->first, 0u);
  EXPECT_EQ(delta->second, 7u);
}

TEST(RecordHeader, RejectsMalformedLines) {
  const std::string rejected[] = {
      "",
      "F " + k_id + " 1",                                // a field short
      "F " + k_id + " 1 2 3",                            // a field too many
      "D " + k_id + " 1 2",                              // delta without base
      "X " + k_id + " 1 2",                              // unknown type
      "FF " + k_id + " 1 2",                             // type is one character
      "F " + k_id + " +1 2",                             // signed
      "F " + k_id + " 1a 2",                             // trailing junk
      "F " + k_id + " 18446744073709551616 2",           // 2^64
      "F " + k_id + " 99999999999999999999999999999 2",  // far past 64 bits
  };
  for (const std::string& line : rejected) EXPECT_FALSE(parse_record_header(line)) << line;
}

TEST(RecordHeader, WritesWhatItReads) {
  std::string out;
  append_full_header(out, k_id, 10, 20);
  append_delta_header(out, k_id, k_base, 0, 18446744073709551615u);
  EXPECT_EQ(out, "F " + k_id + " 10 20\nD " + k_id + " " + k_base + " 0 18446744073709551615\n");
}

}  // namespace
