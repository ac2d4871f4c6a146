#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "MoxCsvReader.h"
#include "MoxCsvWriter.h"

namespace {

typedef std::vector<MoxCsvField> Row;
const MoxCsvField null;

std::vector<Row> readAll(const std::string& text) {
    std::istringstream input(text);
    MoxCsvReader reader(input);
    std::vector<Row> rows;
    for (Row row; reader.next(row);) rows.push_back(row);
    return rows;
}

}  // namespace

TEST(MoxCsvReader, ReadsTheQuotingCases) {
    const struct {
        const char* text;
        std::vector<Row> rows;
    } cases[] = {
        {"", {}},
        {"1,Ada,36\n", {{"1", "Ada", "36"}}},
        {"1,Ada,36", {{"1", "Ada", "36"}}},                         // no line end at the end
        {"1,Ada\r\n2,Bob\r\n", {{"1", "Ada"}, {"2", "Bob"}}},       // CRLF
        {"1,,\n", {{"1", null, null}}},                             // empty unquoted: NULL
        {"1,\"\",x\n", {{"1", "", "x"}}},                           // quoted empty: a text
        {"\"a,b\",\"say \"\"hi\"\"\"\n", {{"a,b", "say \"hi\""}}},  // comma, doubled quotes
        {"\"two\nlines\",\"cr\r\nlf\"\n3,x\n", {{"two\nlines", "cr\r\nlf"}, {"3", "x"}}},
        {"\n", {{null}}},               // an empty line is one NULL field
        {"a\rb,c\n", {{"a\rb", "c"}}},  // a lone CR is data
        {"\"q\"\r\n", {{"q"}}},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(readAll(testCase.text), testCase.rows) << testCase.text;
    }
}

TEST(MoxCsvReader, RefusesDamagedRowsWithTheirLineAndGoesOnBehindThem) {
    const struct {
        const char* text;
        long line;
        const char* reason;
    } cases[] = {
        {"1,a\n2,b\"c\n3,d\n", 2, "a quote inside an unquoted field"},
        {"1,\"a\nb\"\n2,\"x\"y\n3,d\n", 3, "text after the closing quote of a field"},
        {"1,a\n\"open\n", 2, "a quoted field is not closed"},
        {"\"x\"\ry\n3,d\n", 1, "text after the closing quote of a field"},
    };
    for (const auto& testCase : cases) {
        std::istringstream input(testCase.text);
        MoxCsvReader reader(input);
        Row row;
        try {
            while (reader.next(row)) {
            }
            ADD_FAILURE() << "no refusal for " << testCase.text;
        } catch (const MoxCsvError& error) {
            EXPECT_EQ(reader.rowLine(), testCase.line) << testCase.text;
            EXPECT_STREQ(error.what(), testCase.reason) << testCase.text;
        }
        // The next row after the damaged line, if any, is whole.
        if (reader.next(row) && row.size() == 2) {
            EXPECT_EQ(row, (Row{"3", "d"}));
        }
    }
}

TEST(MoxCsvReader, ParsesOneFieldOfTheCommandLine) {
    EXPECT_EQ(MoxCsvReader::parseField(""), null);
    EXPECT_EQ(MoxCsvReader::parseField("\"\""), MoxCsvField(""));
    EXPECT_EQ(MoxCsvReader::parseField("\"a,b\""), MoxCsvField("a,b"));
    EXPECT_EQ(MoxCsvReader::parseField("Ada"), MoxCsvField("Ada"));
    for (const char* text : {"a,b", "a\nb", "\"a\"b", "a\"b"}) {
        EXPECT_THROW(MoxCsvReader::parseField(text), MoxCsvError) << text;
    }
}

// Whatever the fields hold, the writer's text reads back to them.
TEST(MoxCsvWriter, WritesWhatTheReaderReadsBack) {
    std::mt19937 random(16);
    const std::vector<std::string> pieces{"a", "Zed", ",", "\"", "\n", "\r", "\r\n", " ", "", "0"};
    for (int round = 0; round < 2000; ++round) {
        std::vector<Row> rows(1 + random() % 3);
        const size_t width = 1 + random() % 4;
        for (Row& row : rows) {
            for (size_t i = 0; i < width; ++i) {
                if (random() % 5 == 0) {
                    row.push_back(null);
                    continue;
                }
                std::string text;
                for (unsigned j = random() % 4; j > 0; --j) text += pieces[random() % pieces.size()];
                row.push_back(text);
            }
        }
        std::ostringstream out;
        MoxCsvWriter writer(out);
        for (const Row& row : rows) writer.row(row);
        ASSERT_EQ(readAll(out.str()), rows) << "round " << round << ": " << out.str();
    }
}
