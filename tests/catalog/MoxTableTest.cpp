#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CatalogTestHelpers.h"
#include "MoxCatalog.h"
#include "TestHelpers.h"

// INTEGER not null, INTEGER nullable, VARCHAR(10) not null, VARCHAR(20)
// nullable.
static void defineFourColumns(MoxTable& table) {
    ASSERT_EQ(table.createColumns(4), MOX_SUCCESS);
    ASSERT_EQ(table.setColumnDefinition(0, "A", INTEGER, 0, false), MOX_SUCCESS);
    ASSERT_EQ(table.setColumnDefinition(1, "B", INTEGER, 0, true), MOX_SUCCESS);
    ASSERT_EQ(table.setColumnDefinition(2, "C", VARCHAR, 10, false), MOX_SUCCESS);
    ASSERT_EQ(table.setColumnDefinition(3, "D", VARCHAR, 20, true), MOX_SUCCESS);
}

class MoxTableTest : public ::testing::Test {
  protected:
    // Gives the table index descriptors (index id, column, type) as if they
    // had been loaded from the catalog in that order.
    static void placeIndexes(MoxTable& table, const std::vector<std::tuple<IndexId, Uint16, MoxIndexType>>& rows) {
        table.indexes.clear();
        for (const auto& [id, column, type] : rows) {
            auto index = std::make_unique<MoxIndex>();
            index->setIndexId(id);
            index->setColumnNumber(column);
            index->setIndexType(type);
            table.indexes.push_back(std::move(index));
        }
        table.gotIndexes = true;
    }
    static bool hasLoadedIndexes(const MoxTable& table) { return table.gotIndexes; }
};

TEST_F(MoxTableTest, RecordLengthsFollowTheColumnsAndAreComputedAnewAfterAChange) {
    MoxTable table;
    defineFourColumns(table);
    EXPECT_EQ(table.getMinRecordLength(), 4 + 1 + 2 + 1);
    EXPECT_EQ(table.getMaxRecordLength(), 4 + 5 + 12 + 23);

    // INTEGER ignores the length it is given.
    ASSERT_EQ(table.setColumnDefinition(2, "C", INTEGER, 100, false), MOX_SUCCESS);
    Uint16 length = 0;
    ASSERT_EQ(table.getMaxColumnLength(2, length), MOX_SUCCESS);
    EXPECT_EQ(length, 4);
    EXPECT_EQ(table.getMinRecordLength(), 4 + 1 + 4 + 1);
    EXPECT_EQ(table.getMaxRecordLength(), 4 + 5 + 4 + 23);

    // Two columns of 65535 bytes do not wrap around to a small maximum.
    ASSERT_EQ(table.setColumnDefinition(0, "A", VARCHAR, 65535, false), MOX_SUCCESS);
    ASSERT_EQ(table.setColumnDefinition(1, "B", VARCHAR, 65535, true), MOX_SUCCESS);
    EXPECT_EQ(table.getMaxRecordLength(), 65535);
}

TEST_F(MoxTableTest, NamesUpTo128CharactersAndRejectedOnesChangeNothing) {
    MoxTable table;
    defineFourColumns(table);
    const Uint16 maxBefore = table.getMaxRecordLength();
    const std::string longest(128, 't');
    const std::string tooLong(129, 'u');
    ASSERT_EQ(table.setTableName(longest.c_str()), MOX_SUCCESS);
    EXPECT_EQ(table.setTableName(tooLong.c_str()), MOX_CAT_TABLE_NAME_TOO_LONG);
    EXPECT_EQ(currentErrorMessage(),
              "The table name '" + tooLong + "' is too long.  The name for a table must have at most 128 characters.");
    EXPECT_EQ(table.setTableName(std::string(65540, 'v').c_str()), MOX_CAT_TABLE_NAME_TOO_LONG);
    EXPECT_EQ(table.setTableName(nullptr), MOX_PARAMETER_FAIL);
    EXPECT_EQ(table.setTableName("X", 0), MOX_PARAMETER_FAIL);
    const char* name = nullptr;
    ASSERT_EQ(table.getTableName(name), MOX_SUCCESS);
    EXPECT_EQ(name, longest);

    ASSERT_EQ(table.setColumnName(1, longest.c_str()), MOX_SUCCESS);
    EXPECT_EQ(table.setColumnName(1, tooLong.c_str()), MOX_CAT_COLUMN_NAME_TOO_LONG);
    EXPECT_EQ(currentErrorMessage(), "The column name '" + tooLong +
                                         "' is too long.  The name for a column must have at most 128 characters.");

    // Each rejected definition leaves column 1 (INTEGER, nullable) whole.
    const struct {
        Uint16 column;
        const char* name;
        MoxDataType type;
        Uint16 maxLength;
        MoxErrorCode expected;
    } rejected[] = {
        {4, "E", VARCHAR, 5, MOX_PARAMETER_FAIL},
        {1, nullptr, VARCHAR, 5, MOX_PARAMETER_FAIL},
        {1, "E", UnknownDataType, 5, MOX_PARAMETER_FAIL},
        {1, "E", VARCHAR, 0, MOX_PARAMETER_FAIL},
        {1, "", VARCHAR, 5, MOX_PARAMETER_FAIL},
        {1, tooLong.c_str(), VARCHAR, 5, MOX_CAT_COLUMN_NAME_TOO_LONG},
    };
    for (const auto& row : rejected) {
        EXPECT_EQ(table.setColumnDefinition(row.column, row.name, row.type, row.maxLength, false), row.expected);
        MoxDataType type = UnknownDataType;
        bool nullable = false;
        ASSERT_EQ(table.getColumnName(1, name), MOX_SUCCESS);
        EXPECT_EQ(name, longest);
        ASSERT_EQ(table.getColumnDatatype(1, type), MOX_SUCCESS);
        EXPECT_EQ(type, INTEGER);
        ASSERT_EQ(table.getIsNullable(1, nullable), MOX_SUCCESS);
        EXPECT_TRUE(nullable);
        EXPECT_EQ(table.getMaxRecordLength(), maxBefore);
    }
}

TEST_F(MoxTableTest, ColumnLookupIsExactAndGettersCheckTheirColumn) {
    MoxTable table;
    Uint16 column = 0;
    const char* name = nullptr;
    TableId id = 0;
    EXPECT_EQ(table.getTableId(id), MOX_INTERNAL_FAIL);
    EXPECT_EQ(table.getTableName(name), MOX_INTERNAL_FAIL);
    EXPECT_EQ(table.getNumColumns(column), MOX_INTERNAL_FAIL);
    EXPECT_EQ(table.getColumnNumber("A", column), MOX_INTERNAL_FAIL);
    EXPECT_EQ(table.createColumns(0), MOX_PARAMETER_FAIL);

    defineFourColumns(table);
    ASSERT_EQ(table.setTableName("T1"), MOX_SUCCESS);
    ASSERT_EQ(table.setColumnName(3, "B"), MOX_SUCCESS);
    ASSERT_EQ(table.getColumnNumber("B", column), MOX_SUCCESS);
    EXPECT_EQ(column, 3);  // the last of two equal names
    EXPECT_EQ(table.getColumnNumber("c", column), MOX_CAT_COLUMN_NOT_IN_TABLE);
    EXPECT_EQ(currentErrorMessage(), "A column named 'c' does not exist in table 'T1'");
    EXPECT_EQ(table.getColumnNumber(nullptr, column), MOX_PARAMETER_FAIL);

    MoxDataType type;
    bool nullable;
    Uint16 length;
    EXPECT_EQ(table.getColumnName(4, name), MOX_PARAMETER_FAIL);
    EXPECT_EQ(table.getColumnDatatype(4, type), MOX_PARAMETER_FAIL);
    EXPECT_EQ(table.getIsNullable(4, nullable), MOX_PARAMETER_FAIL);
    EXPECT_EQ(table.getMaxColumnLength(4, length), MOX_PARAMETER_FAIL);
    ASSERT_EQ(table.createColumns(2), MOX_SUCCESS);
    EXPECT_EQ(table.getMaxColumnLength(1, length), MOX_INTERNAL_FAIL);
    EXPECT_EQ(table.getMaxRecordLength(), 0);
}

TEST_F(MoxTableTest, IndexesAreLookedUpInLoadOrder) {
    MoxTable table;
    defineFourColumns(table);
    ASSERT_EQ(table.setTableId(MOX_MAX_TABLE_ID + 1), MOX_PARAMETER_FAIL);
    // Without an id no index information can be loaded; a failed load keeps
    // nothing.
    EXPECT_EQ(table.retrieveIndexInformation(), MOX_INTERNAL_FAIL);
    EXPECT_EQ(table.getNumIndexes(), 0);
    ASSERT_EQ(table.setTableId(7), MOX_SUCCESS);

    placeIndexes(table, {{5, 2, BTree}, {6, 1, BTree}, {9, 2, Hash}, {11, 2, BTree}});
    EXPECT_EQ(table.retrieveIndexInformation(), MOX_INTERNAL_FAIL);  // loaded already
    EXPECT_EQ(table.getNumIndexes(), 4);
    MoxIndex* index = nullptr;
    table.getIndex(2, index);
    IndexId id = 0;
    ASSERT_EQ(index->getIndexId(id), MOX_SUCCESS);
    EXPECT_EQ(id, 9);
    EXPECT_TRUE(throwsError([&] { table.getIndex(4, index); }, MOX_PARAMETER_FAIL));

    table.hasIndexOfType(2, BTree, id);
    EXPECT_EQ(id, 5);
    table.hasIndexOfType(2, Hash, id);
    EXPECT_EQ(id, 9);
    EXPECT_TRUE(throwsError([&] { table.hasIndexOfType(0, BTree, id); }, MOX_NOT_FOUND_WARN));
    EXPECT_TRUE(throwsError([&] { table.hasIndexOfType(4, BTree, id); }, MOX_PARAMETER_FAIL));

    // The indexes belong to the id they were loaded for.
    ASSERT_EQ(table.setTableId(7), MOX_SUCCESS);
    EXPECT_EQ(table.getNumIndexes(), 4);
    EXPECT_TRUE(hasLoadedIndexes(table));
    ASSERT_EQ(table.setTableId(8), MOX_SUCCESS);
    EXPECT_FALSE(hasLoadedIndexes(table));
}
