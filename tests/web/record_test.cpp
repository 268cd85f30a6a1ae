#include "web/record.h"

#include <gtest/gtest.h>

namespace {

web::RequestRecord SampleRecord() {
  web::RequestRecord record;
  record.slots[0] = {"http://127.0.0.1/a"};
  record.slots[1] = {"POST"};
  record.slots[4] = {std::string("a\0b\0", 4)};
  record.slots[5] = {std::string(100000, '\xB0')};
  record.slots[6] = {"\xD5\xE6"};
  return record;
}

TEST(Record, ReadsBackExactlyWhatWasWritten) {
  const web::RequestRecord record = SampleRecord();
  web::RecordBuffer buffer;
  WriteRecord(buffer, record);
  const auto slots = ReadRecord(buffer);
  ASSERT_TRUE(slots.has_value());
  ASSERT_EQ(slots->size(), 7u);
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ((*slots)[i], record.slots[i]) << "slot " << i + 1;
}

TEST(Record, WritingReplacesTheEarlierContent) {
  web::RecordBuffer buffer;
  WriteRecord(buffer, SampleRecord());
  WriteRecord(buffer, web::RequestRecord{});
  const auto slots = ReadRecord(buffer);
  ASSERT_TRUE(slots.has_value());
  for (const text::Bytes& slot : *slots) EXPECT_TRUE(slot.data.empty());
}

TEST(Record, EveryTruncationReadsAsNoRecord) {
  web::RecordBuffer whole;
  web::RequestRecord record = SampleRecord();
  record.slots[5] = {"cookie"};
  WriteRecord(whole, record);
  for (size_t n = 0; n < whole.bytes.size(); ++n) {
    const web::RecordBuffer cut{whole.bytes.substr(0, n)};
    EXPECT_FALSE(ReadRecord(cut).has_value()) << "cut to " << n << " bytes";
  }
}

TEST(Record, ForeignBytesReadAsNoRecord) {
  const struct {
    const char* why;
    std::string bytes;
  } rows[] = {
      {"plain text, no tag", "hello world, this is not a record at all"},
      {"tag, then a slot count far beyond the bytes that follow",
       std::string("RREC\xff\xff\xff\xff\xff\xff\xff\x7f", 12) + std::string(64, 'x')},
      {"tag and one slot whose length runs past the end",
       std::string("RREC\x01\0\0\0\0\0\0\0\xff\0\0\0\0\0\0\0abc", 23)},
  };
  for (const auto& row : rows) {
    EXPECT_FALSE(ReadRecord(web::RecordBuffer{row.bytes}).has_value()) << row.why;
  }
}

}  // namespace
