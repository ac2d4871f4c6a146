#include <gtest/gtest.h>

#include "MoxColumnValue.h"
#include "MoxProgressBar.h"

namespace {

// ID INTEGER not null, NAME VARCHAR(5) nullable, AGE INTEGER nullable.
class MoxColumnValueTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(table.setTableName("T"), MOX_SUCCESS);
        ASSERT_EQ(table.createColumns(3), MOX_SUCCESS);
        ASSERT_EQ(table.setColumnDefinition(0, "ID", INTEGER, 4, false), MOX_SUCCESS);
        ASSERT_EQ(table.setColumnDefinition(1, "NAME", VARCHAR, 5, true), MOX_SUCCESS);
        ASSERT_EQ(table.setColumnDefinition(2, "AGE", INTEGER, 4, true), MOX_SUCCESS);
    }
    MoxTable table;
};

}  // namespace

TEST_F(MoxColumnValueTest, TakesWhatFitsAndRefusesTheRestWithTheReason) {
    const MoxCsvField null;
    const struct {
        Uint16 column;
        MoxCsvField field;
        const char* cell;    // the value taken, as a cell
        const char* reason;  // or the refusal
    } cases[] = {
        {0, "7", "7", nullptr},
        {0, "-2147483648", "-2147483648", nullptr},
        {0, "+2147483647", "2147483647", nullptr},
        {0, "007", "7", nullptr},
        {0, "2147483648", nullptr, "column ID: \"2147483648\" lies outside the INTEGER range"},
        {0, "99999999999999999999", nullptr, "column ID: \"99999999999999999999\" lies outside the INTEGER range"},
        {0, "12x", nullptr, "column ID: \"12x\" is not an integer"},
        {0, " 1", nullptr, "column ID: \" 1\" is not an integer"},
        {0, "-", nullptr, "column ID: \"-\" is not an integer"},
        {0, "", nullptr, "column ID: \"\" is not an integer"},
        {0, null, nullptr, "column ID is not nullable and takes no NULL"},
        {1, null, "NULL", nullptr},
        {1, "", "", nullptr},
        {1, "abcde", "abcde", nullptr},
        {1, "abcdef", nullptr, "column NAME: \"abcdef\" has 6 bytes, the column at most 5"},
        {1, std::string("a\0b", 3), nullptr, "column NAME: \"a\\x00b\" holds a NUL byte"},
        {1, "a\nb", "a\nb", nullptr},
        {0, "1\n", nullptr, "column ID: \"1\\x0a\" is not an integer"},
        {2, null, "NULL", nullptr},
    };
    for (const auto& testCase : cases) {
        const std::string shown = testCase.field ? *testCase.field : "NULL";
        try {
            const MoxColumnValue value = MoxColumnValue::parse(table, testCase.column, testCase.field);
            ASSERT_NE(testCase.cell, nullptr) << shown << " taken";
            EXPECT_EQ(value.toCell(), testCase.cell) << shown;
        } catch (const MoxValueError& error) {
            ASSERT_NE(testCase.reason, nullptr) << shown << ": " << error.what();
            EXPECT_NE(std::string(error.what()).find(testCase.reason), std::string::npos) << error.what();
        }
    }
}

TEST(MoxProgressBar, ShowsRowsRateShareAndTimeLeft) {
    EXPECT_EQ(MoxProgressBar::line(1500, 300, 0, 0.5), "1,500 rows  3,000 rows/s");
    EXPECT_EQ(MoxProgressBar::line(25000, 250, 1000, 2.0),
              "[#######-----------------------]  25%  25,000 rows  12,500 rows/s  6s left");
    EXPECT_EQ(MoxProgressBar::line(100000, 1000, 1000, 90.0),
              "[##############################] 100%  100,000 rows  1,111 rows/s");
    EXPECT_EQ(MoxProgressBar::line(10, 1, 100, 2.0),
              "[------------------------------]   1%  10 rows  5 rows/s  3m18s left");
}
