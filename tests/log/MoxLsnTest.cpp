#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "MoxLog.h"
#include "MoxSupport.h"

namespace {

// Parses text as an LSN and returns the exception's code and token, or
// MOX_SUCCESS when it parsed.
MoxErrorCode parseFailure(const std::string& text) {
    try {
        MoxLsn lsn(text);
        return MOX_SUCCESS;
    } catch (const MoxException& exception) {
        EXPECT_EQ(exception.getErrorToken(1), text);
        return exception.getErrorCode();
    }
}

TEST(MoxLsnTest, TextFormRoundTrips) {
    MoxLsn lsn(3, 1024);
    EXPECT_EQ(lsn.dump(), "3,1024");
    std::ostringstream stream;
    stream << lsn;
    EXPECT_EQ(stream.str(), "3,1024");
    EXPECT_EQ(MoxLsn(lsn.dump()), lsn);
    EXPECT_EQ(MoxLsn("65535,4294967295"), MoxLsn(65535, 4294967295U));
}

TEST(MoxLsnTest, ParsingFollowsStreamRules) {
    // Blanks before a number or the comma are skipped; a missing second number is 0.
    EXPECT_EQ(MoxLsn(" 3, 4"), MoxLsn(3, 4));
    EXPECT_EQ(MoxLsn("3 ,4"), MoxLsn(3, 4));
    EXPECT_EQ(MoxLsn("5,"), MoxLsn(5, 0));
    EXPECT_EQ(MoxLsn("5, "), MoxLsn(5, 0));

    for (const char* bad : {"5", "3,1024 ", "", ",5", "3;4", "3,4x", "x,4", "3,,4"}) {
        EXPECT_EQ(parseFailure(bad), MOX_LOGM_LSN_PARSING_FAILED) << '"' << bad << '"';
    }
}

TEST(MoxLsnTest, ParsingRefusesNumbersOutsideTheFields) {
    // Neither a sign nor an overflow may turn into the field's largest value.
    for (const char* bad : {"-1,5", "5,-1", "65536,0", "1,4294967296", "1,99999999999"}) {
        EXPECT_EQ(parseFailure(bad), MOX_LOGM_LSN_PARSING_FAILED) << bad;
    }
}

TEST(MoxLsnTest, OrdersByFileFirst) {
    EXPECT_TRUE(MoxLsn(2, 5) < MoxLsn(3, 0));
    EXPECT_TRUE(MoxLsn(2, 5000) < MoxLsn(3, 100));
    EXPECT_TRUE(MoxLsn(3, 100) > MoxLsn(2, 5000));
    EXPECT_TRUE(MoxLsn(3, 0) < MoxLsn(3, 1));
    EXPECT_FALSE(MoxLsn(3, 1) < MoxLsn(3, 1));
    EXPECT_FALSE(MoxLsn(3, 1) > MoxLsn(3, 1));
    // Offsets compare unsigned.
    EXPECT_TRUE(MoxLsn(3, 1) < MoxLsn(3, 0x80000000U));
    EXPECT_NE(MoxLsn(3, 1), MoxLsn(1, 3));
    EXPECT_EQ(MoxLsn::dummyLSN(), MoxLsn(0, 0));
}

TEST(MoxLsnTest, BinaryFormIsEightBytes) {
    MoxLsn lsn(0x0102, 0x03040506);
    unsigned char bytes[8];
    ASSERT_EQ(sizeof(lsn), sizeof(bytes));
    memcpy(bytes, &lsn, sizeof(bytes));
    const unsigned char expected[8] = {0x02, 0x01, 0, 0, 0x06, 0x05, 0x04, 0x03};
    EXPECT_EQ(memcmp(bytes, expected, sizeof(bytes)), 0);
}

}  // namespace
