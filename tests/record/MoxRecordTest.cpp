#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "record/MoxRecord.h"

namespace {

std::string bytesOf(const MoxRecord& record) {
    return std::string(reinterpret_cast<const char*>(record.getRecordData()), record.getLength());
}

const unsigned char* text(const char* value) {
    return reinterpret_cast<const unsigned char*>(value);
}

TEST(MoxRecord, OwnsACopyOfItsBytesAndItsTupleId) {
    char source[] = "abcdef";
    MoxRecord record(text(source), 6);
    source[0] = 'X';
    EXPECT_EQ(bytesOf(record), "abcdef");
    EXPECT_EQ(record.getBufferLength(), 6);
    EXPECT_EQ(record.getTupleId(), nullptr);

    TupleId tid;
    tid.page = 3;
    tid.slot = 7;
    record.setTupleId(tid);
    ASSERT_NE(record.getTupleId(), nullptr);
    EXPECT_TRUE(*record.getTupleId() == tid);

    MoxRecord copy(record);
    record.setData(text("zz"), 2);
    EXPECT_EQ(bytesOf(copy), "abcdef") << "copies are deep";
    EXPECT_TRUE(*copy.getTupleId() == tid);
    copy = record;
    EXPECT_EQ(bytesOf(copy), "zz");
    copy = copy;
    EXPECT_EQ(bytesOf(copy), "zz");
}

TEST(MoxRecord, SetDataMayTakeBytesFromItsOwnBuffer) {
    MoxRecord record(text("0123456789"), 10);
    // Tail, head and the whole buffer of itself, as the tuple code shifts columns.
    record.setData(record.getRecordData() + 4, 6);
    EXPECT_EQ(bytesOf(record), "456789");
    record.setData(record.getRecordData(), 3);
    EXPECT_EQ(bytesOf(record), "456");
    record.setData(record.getRecordData(), record.getLength());
    EXPECT_EQ(bytesOf(record), "456");
    EXPECT_EQ(record.getBufferLength(), 3);
}

TEST(MoxRecord, NullDataGivesAZeroFilledBufferOfNoLength) {
    MoxRecord record(nullptr, 10);
    EXPECT_EQ(record.getLength(), 0);
    EXPECT_EQ(record.getBufferLength(), 10);
    ASSERT_NE(record.getRecordData(), nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(record.getRecordData()), 10), std::string(10, '\0'));
    record.setData(nullptr, 0);
    EXPECT_EQ(record.getLength(), 0);
    EXPECT_EQ(record.getBufferLength(), 0);
}

}  // namespace
