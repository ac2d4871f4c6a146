#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalog/CatalogTestHelpers.h"
#include "MoxTuple.h"

typedef std::vector<unsigned char> Bytes;

static Bytes bytesOf(const MoxRecord* record) {
    return Bytes(record->getRecordData(), record->getRecordData() + record->getLength());
}

class MoxRecordTupleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // ID INTEGER NOT NULL, TEXT VARCHAR(10)
        ASSERT_EQ(table.createColumns(2), MOX_SUCCESS);
        ASSERT_EQ(table.setTableName("T"), MOX_SUCCESS);
        ASSERT_EQ(table.setColumnDefinition(0, "ID", INTEGER, 0, false), MOX_SUCCESS);
        ASSERT_EQ(table.setColumnDefinition(1, "TEXT", VARCHAR, 10, true), MOX_SUCCESS);
    }

    // The tuple that interprets a copy of bytes.
    MoxRecordTuple* interpret(const Bytes& bytes, MoxErrorCode expected = MOX_SUCCESS) {
        MoxRecord* record = new MoxRecord(bytes.data(), static_cast<Uint16>(bytes.size()));
        interpreter = std::make_unique<MoxRecordTuple>(&table);
        EXPECT_EQ(interpreter->initialize(record, &table), expected);
        return interpreter.get();
    }

    MoxTable table;
    std::unique_ptr<MoxRecordTuple> interpreter;
};

TEST_F(MoxRecordTupleTest, RowsHaveTheExactByteLayoutAndChangeInPlace) {
    const Sint32 seven = 7;
    MoxRecordTuple builder(&table);
    ASSERT_EQ(builder.setInt(0, &seven), MOX_SUCCESS);
    ASSERT_EQ(builder.setVarchar(1, nullptr, 0), MOX_SUCCESS);
    EXPECT_EQ(bytesOf(builder.getRecord()), (Bytes{0x07, 0, 0, 0, 0x4E}));

    // A second row from the same tuple starts empty.
    ASSERT_EQ(builder.initialize(&table), MOX_SUCCESS);
    ASSERT_EQ(builder.setInt(0, &seven), MOX_SUCCESS);
    ASSERT_EQ(builder.setVarchar(1, "ab", 2), MOX_SUCCESS);
    const Bytes row = {0x07, 0, 0, 0, 0x2D, 0x02, 0x00, 0x61, 0x62};
    EXPECT_EQ(bytesOf(builder.getRecord()), row);

    MoxRecordTuple* tuple = interpret(row);
    ASSERT_EQ(tuple->setVarchar(1, "abcd", 4), MOX_SUCCESS);
    EXPECT_EQ(bytesOf(tuple->getRecord()), (Bytes{0x07, 0, 0, 0, 0x2D, 0x04, 0x00, 0x61, 0x62, 0x63, 0x64}));
    ASSERT_EQ(tuple->setVarchar(1, nullptr, 0), MOX_SUCCESS);
    EXPECT_EQ(bytesOf(tuple->getRecord()), (Bytes{0x07, 0, 0, 0, 0x4E}));
    ASSERT_EQ(tuple->setVarchar(1, nullptr, 0), MOX_SUCCESS);
    EXPECT_EQ(bytesOf(tuple->getRecord()), (Bytes{0x07, 0, 0, 0, 0x4E}));

    const char* text = "unchanged";
    Uint16 length = 99;
    ASSERT_EQ(tuple->getVarchar(1, text, length), MOX_SUCCESS);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(length, 0);
    const Sint32 minusOne = -1;
    ASSERT_EQ(tuple->setInt(0, &minusOne), MOX_SUCCESS);
    ASSERT_EQ(tuple->setVarchar(1, "x", 1), MOX_SUCCESS);
    EXPECT_EQ(bytesOf(tuple->getRecord()), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x2D, 0x01, 0x00, 0x78}));
}

TEST_F(MoxRecordTupleTest, BuildingGoesStrictlyInColumnOrder) {
    const Sint32 one = 1;
    MoxRecordTuple builder(&table);
    EXPECT_EQ(builder.setInt(1, &one), MOX_PARAMETER_FAIL);
    EXPECT_EQ(builder.setVarchar(1, "a", 1), MOX_PARAMETER_FAIL);
    clearError();
    EXPECT_EQ(builder.getRecord(), nullptr);
    EXPECT_EQ(MoxGetErrorCode(), MOX_INTERNAL_FAIL);
    ASSERT_EQ(builder.setInt(0, &one), MOX_SUCCESS);
    const Sint32* value = nullptr;
    EXPECT_EQ(builder.getInt(1, value), MOX_PARAMETER_FAIL);
    EXPECT_EQ(builder.getRecord(), nullptr);
    ASSERT_EQ(builder.setVarchar(1, "a", 1), MOX_SUCCESS);
    EXPECT_EQ(builder.setVarchar(2, "a", 1), MOX_PARAMETER_FAIL);
    EXPECT_NE(builder.getRecord(), nullptr);
    EXPECT_EQ(builder.getNumberColumns(), 2);
}

TEST_F(MoxRecordTupleTest, RejectedValuesNameTheirColumnAndChangeNothing) {
    const Bytes row = {0x07, 0, 0, 0, 0x2D, 0x02, 0x00, 0x61, 0x62};
    MoxRecordTuple* tuple = interpret(row);
    const Sint32* value = nullptr;
    const struct {
        std::function<MoxErrorCode()> call;
        MoxErrorCode code;
        std::string message;
    } cases[] = {
        {[&] { return tuple->getInt(1, value); }, MOX_CAT_DATATYPE_MISMATCH,
         "Cannot access a value of type 'INTEGER' for column 1 because the values in that column are of type "
         "'VARCHAR'."},
        {[&] { return tuple->setVarchar(0, "a", 1); }, MOX_CAT_DATATYPE_MISMATCH,
         "Cannot access a value of type 'VARCHAR' for column 0 because the values in that column are of type "
         "'INTEGER'."},
        {[&] { return tuple->setInt(0, nullptr); }, MOX_CAT_COLUMN_NOT_NULLABLE,
         "Cannot set the attribute 0 in a record to NULL because the definition of the table the record belongs to "
         "forbids NULLs in that column."},
        {[&] { return tuple->setVarchar(1, "abcdefghijkl", 11); }, MOX_CAT_VALUE_TOO_LONG,
         "Cannot set the value 'abcdefghijk' for column 1 because the value has a length of 11 bytes but the column "
         "is defined with a maximum length of 10 bytes."},
        {[&] { return tuple->getInt(2, value); }, MOX_PARAMETER_FAIL, ""},
    };
    for (const auto& rejected : cases) {
        EXPECT_EQ(rejected.call(), rejected.code);
        if (!rejected.message.empty()) {
            EXPECT_EQ(currentErrorMessage(), rejected.message);
        }
        EXPECT_EQ(bytesOf(tuple->getRecord()), row);
    }
}

TEST_F(MoxRecordTupleTest, RecordsThatDoNotFitTheTableAreRefused) {
    // Two VARCHAR(10) NOT NULL: 4 to 24 bytes.
    ASSERT_EQ(table.setColumnDefinition(0, "A", VARCHAR, 10, false), MOX_SUCCESS);
    ASSERT_EQ(table.setColumnDefinition(1, "B", VARCHAR, 10, false), MOX_SUCCESS);
    interpret({0x01, 0, 'a'}, MOX_CAT_INVALID_RECORD_SIZE);
    EXPECT_EQ(currentErrorMessage(),
              "The record is 3 bytes long, but it must be at least 4 bytes and at most 24 bytes long.");
    interpret(Bytes(25, 0), MOX_CAT_INVALID_RECORD_SIZE);
    // A record handed over without a table belongs to the tuple all the
    // same (the sanitizer build reports a leak otherwise).
    MoxRecordTuple orphan(new MoxRecord(nullptr, 4), nullptr);
    EXPECT_EQ(MoxGetErrorCode(), MOX_PARAMETER_FAIL);
    const char* text = nullptr;
    Uint16 length = 0;
    EXPECT_EQ(orphan.getVarchar(0, text, length), MOX_PARAMETER_FAIL);

    // TEXT VARCHAR(10) NOT NULL, ID INTEGER NOT NULL: the integer is cut off.
    ASSERT_EQ(table.setColumnDefinition(0, "TEXT", VARCHAR, 10, false), MOX_SUCCESS);
    ASSERT_EQ(table.setColumnDefinition(1, "ID", INTEGER, 0, false), MOX_SUCCESS);
    MoxRecordTuple* tuple = interpret({0x05, 0x00, 'a', 'b', 'c', 'd', 'e', 1, 2, 3});
    const Sint32* value = nullptr;
    EXPECT_EQ(tuple->getInt(1, value), MOX_CAT_INVALID_RECORD_STRUCTURE);
    EXPECT_EQ(currentErrorMessage(),
              "Cannot read 4 bytes in record at offset 7 because the record is only 10 bytes long.  The record has an "
              "invalid structure that does not line up with the definition of the table it belongs to.");
    const Sint32 eight = 8;
    EXPECT_EQ(tuple->setInt(1, &eight), MOX_INTERNAL_FAIL);

    // A text length that runs past the record's end.
    tuple = interpret({0x0B, 0x00, 'a', 'b', 'c', 'd', 'e', 1, 2, 3});
    EXPECT_EQ(tuple->getVarchar(0, text, length), MOX_CAT_INVALID_RECORD_STRUCTURE);
    EXPECT_EQ(tuple->getInt(1, value), MOX_INTERNAL_FAIL);
    EXPECT_EQ(tuple->setVarchar(0, "abc", 3), MOX_INTERNAL_FAIL);
    Uint16 offset = 0;
    EXPECT_EQ(tuple->findAttributeOffset(2, offset), MOX_INTERNAL_FAIL);
}

TEST_F(MoxRecordTupleTest, GapsStayInsideTheRecord) {
    MoxRecordTuple* tuple = interpret({1, 2, 3, 4, 0x4E});
    unsigned char* data = nullptr;
    Uint16 length = 0;
    EXPECT_EQ(tuple->makeSpaceInRecord(6, 1, data, length), MOX_PARAMETER_FAIL);
    ASSERT_EQ(tuple->makeSpaceInRecord(5, 2, data, length), MOX_SUCCESS);
    EXPECT_EQ(length, 7);
    ASSERT_EQ(tuple->makeSpaceInRecord(1, 1, data, length), MOX_SUCCESS);
    EXPECT_EQ(bytesOf(tuple->getRecord()), (Bytes{1, 0, 2, 3, 4, 0x4E, 0, 0}));
    EXPECT_EQ(data, tuple->getRecord()->getRecordData());
    EXPECT_EQ(tuple->closeGapInRecord(7, 2, length), MOX_PARAMETER_FAIL);
    ASSERT_EQ(tuple->closeGapInRecord(1, 1, length), MOX_SUCCESS);
    ASSERT_EQ(tuple->closeGapInRecord(4, 3, length), MOX_SUCCESS);
    EXPECT_EQ(length, 4);
    EXPECT_EQ(bytesOf(tuple->getRecord()), (Bytes{1, 2, 3, 4}));
}
