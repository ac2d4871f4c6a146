#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <regex>
#include <tuple>

#include "CatalogTestHelpers.h"
#include "MoxRecordManager.h"
#include "catalog/MoxCatalogRow.h"
#include "MoxLock.h"
#include "MoxTuple.h"
#include "TestHelpers.h"
#include "common/ChildProcess.h"

namespace {

typedef MoxCatalogManager CM;

Uint32 lockEntries() {
    return MoxLockManager::getInstance()->TEST_lockList().header.countEntry;
}

// ID INTEGER, NAME VARCHAR(40) nullable, NOTE VARCHAR(300).
void definePeople(MoxTable& table, const char* name = "PEOPLE") {
    ASSERT_EQ(table.setTableName(name), MOX_SUCCESS);
    ASSERT_EQ(table.createColumns(3), MOX_SUCCESS);
    ASSERT_EQ(table.setColumnDefinition(0, "ID", INTEGER, 0, false), MOX_SUCCESS);
    ASSERT_EQ(table.setColumnDefinition(1, "NAME", VARCHAR, 40, true), MOX_SUCCESS);
    ASSERT_EQ(table.setColumnDefinition(2, "NOTE", VARCHAR, 300, false), MOX_SUCCESS);
}

void defineIndex(MoxIndex& index, const char* name, TableId table, Uint16 column, bool unique) {
    ASSERT_EQ(index.setIndexName(name), MOX_SUCCESS);
    ASSERT_EQ(index.setIndexType(BTree), MOX_SUCCESS);
    ASSERT_EQ(index.setTableId(table), MOX_SUCCESS);
    ASSERT_EQ(index.setColumnNumber(column), MOX_SUCCESS);
    ASSERT_EQ(index.setUnique(unique), MOX_SUCCESS);
}

// Each column as "name type length nullable".
std::vector<std::string> columnsOf(const MoxTable& table) {
    std::vector<std::string> columns;
    Uint16 count = 0, length = 0;
    const char* name = "";
    MoxDataType type = UnknownDataType;
    bool nullable = false;
    for (Uint16 i = 0; table.getNumColumns(count) == MOX_SUCCESS && i < count; ++i) {
        table.getColumnName(i, name), table.getColumnDatatype(i, type), table.getMaxColumnLength(i, length);
        table.getIsNullable(i, nullable);
        columns.push_back(std::string(name) + " " + std::to_string(type) + " " + std::to_string(length) +
                          (nullable ? " Y" : " N"));
    }
    return columns;
}

std::unique_ptr<MoxTable> descriptorOf(TableId table) {
    MoxTable* described = nullptr;
    EXPECT_EQ(CM::getInstance()->getTableDescriptor(table, described), MOX_SUCCESS) << table;
    return std::unique_ptr<MoxTable>(described);
}

// The ids of the table's indexes, as the catalog lists them.
std::vector<IndexId> indexesOf(MoxTable& table) {
    std::vector<IndexId> ids(table.getNumIndexes());
    for (size_t i = 0; i < ids.size(); ++i) {
        MoxIndex* index = nullptr;
        table.getIndex(static_cast<Uint32>(i), index);
        EXPECT_EQ(index->getIndexId(ids[i]), MOX_SUCCESS);
    }
    return ids;
}

class MoxCatalogManagerTest : public CatalogTestDatabase {};

TEST_F(MoxCatalogManagerTest, ANewDatabaseDescribesItsCatalogInItselfAndASecondSetupChangesNothing) {
    EXPECT_EQ(lockEntries(), 0u) << "the bootstrap ends its transaction";
    std::vector<std::string> tables;
    std::unique_ptr<MoxTable> systables = descriptorOf(CM::SYSTABLES_ID);
    MoxRecordIterator* created = nullptr;
    MoxRecordManager::getInstance()->getRecordIterator(CM::SYSTABLES_ID, created);
    std::unique_ptr<MoxRecordIterator> scan(created);
    for (MoxRecord* record = nullptr; scan->getNext(record) == MOX_SUCCESS; record = nullptr) {
        MoxCatalogRow row(*systables, record);
        EXPECT_TRUE(std::regex_match(row.text(CM::SysTables::CREATE_TIME, 26, 26),
                                     std::regex("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{6}")));
        tables.push_back(row.text(CM::SysTables::TABLE_NAME, 1, 128));
        for (Uint16 column : {CM::SysTables::TABLE_ID, CM::SysTables::COLUMN_COUNT, CM::SysTables::TUPLE_COUNT}) {
            tables.back().append(" ").append(std::to_string(row.integer(column, 0, 100)));
        }
    }
    EXPECT_EQ(tables, (std::vector<std::string>{"SYSTABLES 1 5 3", "SYSCOLUMNS 2 6 18", "SYSINDEXES 3 7 4"}));
    // SYSINDEXES through catalog index 3, newest first.
    EXPECT_EQ(indexesOf(*descriptorOf(1)), std::vector<IndexId>{1});
    EXPECT_EQ(indexesOf(*descriptorOf(2)), std::vector<IndexId>{2});
    EXPECT_EQ(indexesOf(*descriptorOf(3)), (std::vector<IndexId>{4, 3}));

    const std::vector<std::string> before = catalogContents();
    MoxSystem::commit();
    ASSERT_EQ(CM::initializeCatalog(), MOX_SUCCESS);
    EXPECT_EQ(catalogContents(), before);
}

TEST_F(MoxCatalogManagerTest, ACatalogWithAPartMissingIsRefusedWithItsPathAndLeftAsItWas) {
    // A catalog table, then catalog index 3.
    for (const char* file : {"Seg2.mox", "Seg32773.mox"}) {
        SCOPED_TRACE(file);
        const std::filesystem::path path = std::filesystem::path(directory()) / file;
        MoxSystem::stopAllManagers();
        MoxSystem::stop(true);
        std::filesystem::rename(path, path.string() + ".saved");
        for (int attempt = 0; attempt < 2; ++attempt) {
            std::optional<MoxException> failure = caught([] { MoxSystem::start(); });
            ASSERT_TRUE(failure.has_value());
            EXPECT_EQ(failure->getErrorCode(), MOX_CAT_INCOMPLETE_CATALOG_FOUND);
            EXPECT_EQ(failure->getErrorToken(1), directory());
            // Rolled back: the part created anew is gone again and no lock is left.
            EXPECT_FALSE(std::filesystem::exists(path));
            EXPECT_EQ(lockEntries(), 0u);
            MoxSystem::stopAllManagers();
            MoxSystem::stop(true);
        }
        std::filesystem::rename(path.string() + ".saved", path);
        MoxSystem::start();
    }
}

TEST_F(MoxCatalogManagerTest, RefusalsAndFailuresChangeNothing) {
    MoxTable people;
    definePeople(people);
    TableId peopleId = 0;
    ASSERT_EQ(catalog().addTable(people, peopleId), MOX_SUCCESS);
    MoxSystem::commit();
    const std::vector<std::string> before = catalogContents();

    std::unique_ptr<MoxTable> syscolumns = descriptorOf(CM::SYSCOLUMNS_ID);
    MoxTable undefined;
    ASSERT_EQ(undefined.setTableName("HALF"), MOX_SUCCESS);
    ASSERT_EQ(undefined.createColumns(2), MOX_SUCCESS);
    ASSERT_EQ(undefined.setColumnDefinition(0, "A", INTEGER, 4, false), MOX_SUCCESS);
    MoxIndex onCatalog, onLongText, onNoColumn, unnamed;
    defineIndex(onCatalog, "MINE", CM::SYSTABLES_ID, 0, false);
    defineIndex(onLongText, "BY_NOTE", peopleId, 2, false);
    defineIndex(onNoColumn, "BY_NOTHING", peopleId, 3, false);
    ASSERT_EQ(unnamed.setTableId(peopleId), MOX_SUCCESS);
    TableId table = 0;
    IndexId index = 0;
    MoxTable* noTable = nullptr;
    MoxIndex* noIndex = nullptr;
    const std::tuple<const char*, std::function<MoxErrorCode()>, MoxErrorCode, std::string> cases[] = {
        {"empty name", [&] { return catalog().getTableId("", table); }, MOX_PARAMETER_FAIL, ""},
        {"names are exact", [&] { return catalog().getTableId("people", table); }, MOX_NOT_FOUND_WARN, ""},
        {"empty index name", [&] { return catalog().getIndexId("", index); }, MOX_PARAMETER_FAIL, ""},
        {"unknown index", [&] { return catalog().getIndexId("NOSUCH", index); }, MOX_NOT_FOUND_WARN, ""},
        {"catalog table", [&] { return catalog().addTable(*syscolumns, table); },
         MOX_CAT_MODIFYING_CATALOG_TABLES_NOT_ALLOWED, "Modifying the catalog tables is not allowed."},
        {"index on a catalog table", [&] { return catalog().addIndex(onCatalog, index); },
         MOX_CAT_MODIFYING_CATALOG_TABLES_NOT_ALLOWED, ""},
        {"removing a catalog table", [&] { return catalog().removeTable(CM::SYSINDEXES_ID); },
         MOX_CAT_MODIFYING_CATALOG_TABLES_NOT_ALLOWED, ""},
        {"removing a catalog index", [&] { return catalog().removeIndex(CM::IDX_SYSINDEXES_INDEXID_ID); },
         MOX_CAT_MODIFYING_CATALOG_TABLES_NOT_ALLOWED, ""},
        {"varchar longer than a key", [&] { return catalog().addIndex(onLongText, index); }, MOX_CAT_DATATYPE_MISMATCH,
         "Cannot access a value of type 'VARCHAR(255)' for column NOTE because the values in that column are of "
         "type 'VARCHAR(300)'."},
        {"no such column", [&] { return catalog().addIndex(onNoColumn, index); }, MOX_PARAMETER_FAIL, ""},
        {"index without a name", [&] { return catalog().addIndex(unnamed, index); }, MOX_INTERNAL_FAIL, ""},
        {"undefined column", [&] { return catalog().addTable(undefined, table); }, MOX_INTERNAL_FAIL, ""},
        {"negative count", [&] { return catalog().updateTupleCount(peopleId, -1); }, MOX_INTERNAL_FAIL, ""},
        {"table 0", [&] { return catalog().getTableDescriptor(0, noTable); }, MOX_PARAMETER_FAIL, ""},
        {"unknown table", [&] { return catalog().getTableDescriptor(99, noTable); }, MOX_NOT_FOUND_WARN, ""},
        {"unknown index id", [&] { return catalog().getIndexDescriptor(99, noIndex); }, MOX_NOT_FOUND_WARN, ""},
    };
    for (const auto& [what, call, code, message] : cases) {
        clearError();
        EXPECT_EQ(call(), code) << what;
        EXPECT_EQ(MoxGetErrorCode(), code) << what;
        if (!message.empty()) {
            EXPECT_EQ(currentErrorMessage(), message) << what;
        }
    }
    EXPECT_EQ(noTable, nullptr);
    EXPECT_EQ(noIndex, nullptr);
    EXPECT_EQ(catalogContents(), before);
}

TEST_F(MoxCatalogManagerTest, UserTablesAndIndexesGetTheirIdsAndComeBackAsDefined) {
    MoxTable people, other;
    definePeople(people);
    definePeople(other, "OTHER");
    TableId ids[2] = {};
    ASSERT_EQ(catalog().addTable(people, ids[0]), MOX_SUCCESS);
    ASSERT_EQ(catalog().addTable(other, ids[1]), MOX_SUCCESS);
    MoxIndex byId, byName;
    defineIndex(byId, "PEOPLE_ID", ids[0], 0, true);
    defineIndex(byName, "PEOPLE_NAME", ids[0], 1, false);
    IndexId indexIds[2] = {};
    ASSERT_EQ(catalog().addIndex(byId, indexIds[0]), MOX_SUCCESS);
    ASSERT_EQ(catalog().addIndex(byName, indexIds[1]), MOX_SUCCESS);
    EXPECT_EQ(std::vector<int>({ids[0], ids[1], indexIds[0], indexIds[1]}), std::vector<int>({4, 5, 5, 6}));
    EXPECT_TRUE(people.hasTableId(4));
    ASSERT_EQ(catalog().updateTupleCount(4, 12), MOX_SUCCESS);
    MoxRecordManager::getInstance()->createTable(4);
    MoxSystem::commit();

    TableId found = 0;
    IndexId foundIndex = 0;
    ASSERT_EQ(catalog().getTableId("OTHER", found), MOX_SUCCESS);
    ASSERT_EQ(catalog().getIndexId("PEOPLE_NAME", foundIndex), MOX_SUCCESS);
    EXPECT_EQ(found * 100 + foundIndex, 506);
    std::unique_ptr<MoxTable> table = descriptorOf(4);
    EXPECT_EQ(columnsOf(*table), columnsOf(people));
    EXPECT_EQ(table->getTupleCount(), 12u);
    EXPECT_EQ(indexesOf(*table), (std::vector<IndexId>{6, 5}));
    table->hasIndexOfType(0, BTree, foundIndex);
    EXPECT_EQ(foundIndex, 5);
    MoxIndex* index = nullptr;
    const char* name = nullptr;
    bool unique = false;
    ASSERT_EQ(catalog().getIndexDescriptor(5, index), MOX_SUCCESS);
    ASSERT_EQ(index->getIndexName(name), MOX_SUCCESS);
    ASSERT_EQ(index->getUnique(unique), MOX_SUCCESS);
    EXPECT_EQ(std::string(name) + (unique ? " unique" : ""), "PEOPLE_ID unique");
    delete index;
    // The "table_*" debug commands find a table by its name in any case.
    testing::internal::CaptureStdout();
    MoxRecordManager::debugTablePages("info people 0 1");
    const std::string dump = testing::internal::GetCapturedStdout();
    EXPECT_EQ(dump.rfind("----------DUMP----------\nTableId: 4\n", 0), 0u) << dump;

    // Removed, they are gone from every lookup; the next id follows the largest.
    ASSERT_EQ(catalog().removeIndex(5), MOX_SUCCESS);
    ASSERT_EQ(catalog().removeTable(5), MOX_SUCCESS);
    index = nullptr;
    EXPECT_EQ(catalog().getIndexDescriptor(5, index), MOX_NOT_FOUND_WARN);
    EXPECT_EQ(catalog().getTableId("OTHER", found), MOX_NOT_FOUND_WARN);
    Uint32 columnRows = 0;
    ASSERT_EQ(catalog().getTupleCountByCounting(CM::SYSCOLUMNS_ID, columnRows), MOX_SUCCESS);
    EXPECT_EQ(columnRows, 18u + 3u);
    EXPECT_EQ(indexesOf(*descriptorOf(4)), std::vector<IndexId>{6});
    ASSERT_EQ(catalog().addTable(other, found), MOX_SUCCESS);
    EXPECT_EQ(found, 5);
    MoxSystem::commit();
}

TEST_F(MoxCatalogManagerTest, AnotherProcessSeesACommittedTableAndARolledBackOneLeavesNoRow) {
    const std::vector<std::string> before = catalogContents();
    MoxTable people;
    definePeople(people);
    TableId peopleId = 0;
    IndexId indexId = 0;
    ASSERT_EQ(catalog().addTable(people, peopleId), MOX_SUCCESS);
    MoxIndex byId;
    defineIndex(byId, "PEOPLE_ID", peopleId, 0, true);
    ASSERT_EQ(catalog().addIndex(byId, indexId), MOX_SUCCESS);
    MoxSystem::rollback();
    EXPECT_EQ(lockEntries(), 0u);
    EXPECT_EQ(catalogContents(), before);
    MoxSystem::commit();

    ChildProcess child([] {
        MoxTable shared;
        definePeople(shared, "SHARED");
        TableId id = 0;
        if (CM::getInstance()->addTable(shared, id) != MOX_SUCCESS) return 1;
        MoxSystem::commit();
        return 0;
    });
    ASSERT_EQ(child.wait(), 0);
    TableId found = 0;
    ASSERT_EQ(catalog().getTableId("SHARED", found), MOX_SUCCESS);
    EXPECT_EQ(columnsOf(*descriptorOf(found)), columnsOf(people));
    MoxSystem::commit();
}

}  // namespace
