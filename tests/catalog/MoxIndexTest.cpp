#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "CatalogTestHelpers.h"
#include "MoxCatalog.h"

TEST(MoxIndex, FreshDescriptorReportsEveryFieldAsUnset) {
    const MoxIndex index;
    IndexId id;
    const char* name;
    TableId table;
    Uint16 column;
    bool unique;
    MoxIndexType type;
    const std::pair<std::function<MoxErrorCode()>, MoxErrorCode> cases[] = {
        {[&] { return index.getIndexId(id); }, MOX_INTERNAL_FAIL},
        {[&] { return index.getIndexName(name); }, MOX_INTERNAL_FAIL},
        {[&] { return index.getTableId(table); }, MOX_INTERNAL_FAIL},
        {[&] { return index.getColumnNumber(column); }, MOX_INTERNAL_FAIL},
        {[&] { return index.getUnique(unique); }, MOX_INTERNAL_FAIL},
        {[&] { return index.getIndexType(type); }, MOX_PARAMETER_FAIL},
    };
    for (const auto& [call, expected] : cases) {
        clearError();
        EXPECT_EQ(call(), expected);
        EXPECT_EQ(MoxGetErrorCode(), expected);
    }
}

TEST(MoxIndex, NamesUpTo128CharactersAndARejectedNameKeepsTheOldOne) {
    MoxIndex index;
    const std::string longest(128, 'i');
    ASSERT_EQ(index.setIndexName(longest.c_str()), MOX_SUCCESS);
    const std::string tooLong(129, 'j');
    EXPECT_EQ(index.setIndexName(tooLong.c_str()), MOX_CAT_INDEX_NAME_TOO_LONG);
    EXPECT_EQ(currentErrorMessage(),
              "The index name '" + tooLong + "' is too long.  The name for an index must have at most 128 characters.");
    // A length of 65536 + 5 must not pass as a name of 5 characters.
    const std::string huge(65541, 'k');
    EXPECT_EQ(index.setIndexName(huge.c_str()), MOX_CAT_INDEX_NAME_TOO_LONG);
    EXPECT_EQ(index.setIndexName(nullptr), MOX_PARAMETER_FAIL);
    EXPECT_EQ(index.setIndexName("", 0), MOX_PARAMETER_FAIL);
    const char* name = nullptr;
    ASSERT_EQ(index.getIndexName(name), MOX_SUCCESS);
    EXPECT_EQ(name, longest);

    // The counted form takes a name that is not terminated there.
    ASSERT_EQ(index.setIndexName("IDX_ABCDEF", 5), MOX_SUCCESS);
    ASSERT_EQ(index.getIndexName(name), MOX_SUCCESS);
    EXPECT_STREQ(name, "IDX_A");
}

TEST(MoxIndex, SettersAcceptOnlyMeaningfulValues) {
    MoxIndex index;
    EXPECT_EQ(index.setIndexType(UnknownIndexType), MOX_PARAMETER_FAIL);
    EXPECT_EQ(index.setIndexType(static_cast<MoxIndexType>(7)), MOX_PARAMETER_FAIL);
    EXPECT_EQ(index.setTableId(0), MOX_PARAMETER_FAIL);
    EXPECT_EQ(index.setIndexId(0), MOX_PARAMETER_FAIL);
    EXPECT_EQ(index.setIndexId(MOX_MAX_INDEX_ID + 1), MOX_PARAMETER_FAIL);
    MoxIndexType type;
    EXPECT_EQ(index.getIndexType(type), MOX_PARAMETER_FAIL);

    ASSERT_EQ(index.setIndexType(Hash), MOX_SUCCESS);
    ASSERT_EQ(index.setTableId(32767), MOX_SUCCESS);
    ASSERT_EQ(index.setIndexId(16384), MOX_SUCCESS);
    ASSERT_EQ(index.setColumnNumber(3), MOX_SUCCESS);
    ASSERT_EQ(index.setUnique(false), MOX_SUCCESS);
    IndexId id;
    TableId table;
    Uint16 column;
    bool unique = true;
    EXPECT_EQ(index.getIndexType(type), MOX_SUCCESS);
    EXPECT_EQ(type, Hash);
    EXPECT_EQ(index.getTableId(table), MOX_SUCCESS);
    EXPECT_EQ(table, 32767);
    EXPECT_EQ(index.getIndexId(id), MOX_SUCCESS);
    EXPECT_EQ(id, 16384);
    EXPECT_EQ(index.getColumnNumber(column), MOX_SUCCESS);
    EXPECT_EQ(column, 3);
    EXPECT_EQ(index.getUnique(unique), MOX_SUCCESS);
    EXPECT_FALSE(unique);

    // A table id above the range is stored but never handed out.
    ASSERT_EQ(index.setTableId(40000), MOX_SUCCESS);
    EXPECT_EQ(index.getTableId(table), MOX_INTERNAL_FAIL);
}
