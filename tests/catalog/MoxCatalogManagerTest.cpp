#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <tuple>

#include "CatalogTestHelpers.h"
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
    Uint16 count = 0;
    EXPECT_EQ(table.getNumColumns(count), MOX_SUCCESS);
    for (Uint16 i = 0; i < count; ++i) {
        const char* name = nullptr;
        MoxDataType type = UnknownDataType;
        Uint16 length = 0;
        bool nullable = false;
        EXPECT_EQ(table.getColumnName(i, name), MOX_SUCCESS);
        EXPECT_EQ(table.getColumnDatatype(i, type), MOX_SUCCESS);
        EXPECT_EQ(table.getMaxColumnLength(i, length), MOX_SUCCESS);
        EXPECT_EQ(table.getIsNullable(i, nullable), MOX_SUCCESS);
        columns.push_back(std::string(name) + " " + std::to_string(type) + " " + std::to_string(length) + " " +
                          (nullable ? "Y" : "N"));
    }
    return columns;
}

std::string textOf(MoxRecordTuple& row, Uint16 column) {
    const char* text = nullptr;
    Uint16 length = 0;
    EXPECT_EQ(row.getVarchar(column, text, length), MOX_SUCCESS);
    return std::string(text, length);
}

Sint32 integerOf(MoxRecordTuple& row, Uint16 column) {
    Sint32 value = 0;
    bool isNull = true;
    EXPECT_EQ(row.getIntValue(column, value, isNull), MOX_SUCCESS);
    return value;
}

// Every row of a catalog table, read through its fixed descriptor.
void forEachRow(TableId table, const std::function<void(MoxRecordTuple&)>& visit) {
    MoxTable* described = nullptr;
    ASSERT_EQ(CM::getInstance()->getTableDescriptor(table, described), MOX_SUCCESS);
    std::unique_ptr<MoxTable> descriptor(described);
    MoxRecordIterator* created = nullptr;
    MoxRecordManager::getInstance()->getRecordIterator(table, created);
    std::unique_ptr<MoxRecordIterator> scan(created);
    MoxRecord* record = nullptr;
    while (scan->getNext(record) == MOX_SUCCESS) {
        MoxRecordTuple row(record, descriptor.get());
        record = nullptr;
        visit(row);
    }
}

class MoxCatalogManagerTest : public CatalogTestDatabase {};

TEST_F(MoxCatalogManagerTest, ANewDatabaseDescribesItsCatalogInItselfAndASecondSetupChangesNothing) {
    EXPECT_EQ(lockEntries(), 0u) << "the bootstrap ends its transaction";
    // SYSTABLES: ids 1 to 3 with their names, column and tuple counts.
    std::vector<std::string> tables;
    forEachRow(CM::SYSTABLES_ID, [&](MoxRecordTuple& row) {
        EXPECT_TRUE(std::regex_match(textOf(row, CM::SysTables::CREATE_TIME),
                                     std::regex("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{6}")));
        tables.push_back(textOf(row, CM::SysTables::TABLE_NAME) + " " +
                         std::to_string(integerOf(row, CM::SysTables::TABLE_ID)) + " " +
                         std::to_string(integerOf(row, CM::SysTables::COLUMN_COUNT)) + " " +
                         std::to_string(integerOf(row, CM::SysTables::TUPLE_COUNT)));
    });
    EXPECT_EQ(tables, (std::vector<std::string>{"SYSTABLES 1 5 3", "SYSCOLUMNS 2 6 18", "SYSINDEXES 3 7 4"}));
    // SYSCOLUMNS holds exactly the fixed descriptors' columns.
    std::map<Sint32, std::vector<std::string>> columns;
    forEachRow(CM::SYSCOLUMNS_ID, [&](MoxRecordTuple& row) {
        std::vector<std::string>& table = columns[integerOf(row, CM::SysColumns::TABLE_ID)];
        EXPECT_EQ(integerOf(row, CM::SysColumns::COLUMN_ID), static_cast<Sint32>(table.size()));
        const std::string type = textOf(row, CM::SysColumns::DATA_TYPE);
        table.push_back(textOf(row, CM::SysColumns::COLUMN_NAME) + " " +
                        std::to_string(type == "INTEGER" ? INTEGER : VARCHAR) + " " +
                        std::to_string(integerOf(row, CM::SysColumns::MAX_LENGTH)) + " " +
                        textOf(row, CM::SysColumns::NULLABLE));
    });
    for (TableId id = 1; id <= CM::MAX_CATALOG_TABLEID; ++id) {
        MoxTable* described = nullptr;
        ASSERT_EQ(catalog().getTableDescriptor(id, described), MOX_SUCCESS);
        std::unique_ptr<MoxTable> table(described);
        EXPECT_EQ(columns[id], columnsOf(*table)) << id;
        // SYSINDEXES through catalog index 3: the catalog indexes of each
        // table, newest first.
        const std::vector<IndexId> expected = id == 1   ? std::vector<IndexId>{1}
                                              : id == 2 ? std::vector<IndexId>{2}
                                                        : std::vector<IndexId>{4, 3};
        ASSERT_EQ(table->getNumIndexes(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            MoxIndex* index = nullptr;
            IndexId indexId = 0;
            table->getIndex(static_cast<Uint32>(i), index);
            ASSERT_EQ(index->getIndexId(indexId), MOX_SUCCESS);
            EXPECT_EQ(indexId, expected[i]);
        }
    }

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

    MoxTable* catalogTable = nullptr;
    ASSERT_EQ(catalog().getTableDescriptor(CM::SYSCOLUMNS_ID, catalogTable), MOX_SUCCESS);
    std::unique_ptr<MoxTable> syscolumns(catalogTable);
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
    const char* name = nullptr;
    Uint16 column = 0;
    MoxDataType type;
    bool unique = false;
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
        {"not a catalog index",
         [&] { return catalog().getSystemIndexParameters(5, name, table, column, type, unique); }, MOX_PARAMETER_FAIL,
         ""},
        {"no buffer", [&] { return CM::getCurrentTimestamp(nullptr); }, MOX_PARAMETER_FAIL, ""},
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
    TableId peopleId = 0, otherId = 0;
    ASSERT_EQ(catalog().addTable(people, peopleId), MOX_SUCCESS);
    ASSERT_EQ(catalog().addTable(other, otherId), MOX_SUCCESS);
    EXPECT_EQ(peopleId, 4);
    EXPECT_EQ(otherId, 5);
    EXPECT_TRUE(people.hasTableId(4));
    MoxIndex byId, byName;
    defineIndex(byId, "PEOPLE_ID", peopleId, 0, true);
    defineIndex(byName, "PEOPLE_NAME", peopleId, 1, false);
    IndexId byIdId = 0, byNameId = 0;
    ASSERT_EQ(catalog().addIndex(byId, byIdId), MOX_SUCCESS);
    ASSERT_EQ(catalog().addIndex(byName, byNameId), MOX_SUCCESS);
    EXPECT_EQ(byIdId, 5);
    EXPECT_EQ(byNameId, 6);
    ASSERT_EQ(catalog().updateTupleCount(peopleId, 12), MOX_SUCCESS);
    MoxRecordManager::getInstance()->createTable(peopleId);
    MoxSystem::commit();
    // The "table_*" debug commands find a table by its name in any case.
    testing::internal::CaptureStdout();
    MoxRecordManager::debugTablePages("info people 0 1");
    const std::string dump = testing::internal::GetCapturedStdout();
    EXPECT_EQ(dump.rfind("----------DUMP----------\nTableId: 4\n", 0), 0u) << dump;
    EXPECT_NE(dump.find("Table is empty!"), std::string::npos) << dump;

    TableId found = 0;
    IndexId foundIndex = 0;
    ASSERT_EQ(catalog().getTableId("OTHER", found), MOX_SUCCESS);
    EXPECT_EQ(found, otherId);
    ASSERT_EQ(catalog().getIndexId("PEOPLE_NAME", foundIndex), MOX_SUCCESS);
    EXPECT_EQ(foundIndex, byNameId);
    MoxTable* described = nullptr;
    ASSERT_EQ(catalog().getTableDescriptor(peopleId, described), MOX_SUCCESS);
    std::unique_ptr<MoxTable> table(described);
    EXPECT_EQ(columnsOf(*table), columnsOf(people));
    EXPECT_EQ(table->getTupleCount(), 12u);
    EXPECT_EQ(table->getMaxRecordLength(), people.getMaxRecordLength());
    ASSERT_EQ(table->getNumIndexes(), 2);
    IndexId onColumn = 0;
    table->hasIndexOfType(1, BTree, onColumn);
    EXPECT_EQ(onColumn, byNameId);
    MoxIndex* index = nullptr;
    table->getIndex(1, index);  // newest first
    const char* indexName = nullptr;
    bool unique = false;
    Uint16 column = 99;
    ASSERT_EQ(index->getIndexName(indexName), MOX_SUCCESS);
    ASSERT_EQ(index->getUnique(unique), MOX_SUCCESS);
    ASSERT_EQ(index->getColumnNumber(column), MOX_SUCCESS);
    EXPECT_EQ(std::string(indexName) + " " + std::to_string(unique) + " " + std::to_string(column), "PEOPLE_ID 1 0");

    // Removed, they are gone from every lookup; the next id follows the largest.
    ASSERT_EQ(catalog().removeIndex(byIdId), MOX_SUCCESS);
    ASSERT_EQ(catalog().removeTable(otherId), MOX_SUCCESS);
    EXPECT_EQ(catalog().getIndexDescriptor(byIdId, index = nullptr), MOX_NOT_FOUND_WARN);
    EXPECT_EQ(catalog().getTableId("OTHER", found), MOX_NOT_FOUND_WARN);
    Uint32 columnRows = 0;
    ASSERT_EQ(catalog().getTupleCountByCounting(CM::SYSCOLUMNS_ID, columnRows), MOX_SUCCESS);
    EXPECT_EQ(columnRows, 18u + 3u);
    ASSERT_EQ(catalog().getTableDescriptor(peopleId, described = nullptr), MOX_SUCCESS);
    table.reset(described);
    EXPECT_EQ(table->getNumIndexes(), 1);
    TableId next = 0;
    ASSERT_EQ(catalog().addTable(other, next), MOX_SUCCESS);
    EXPECT_EQ(next, 5);
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
    MoxTable* described = nullptr;
    ASSERT_EQ(catalog().getTableDescriptor(found, described), MOX_SUCCESS);
    std::unique_ptr<MoxTable> table(described);
    EXPECT_EQ(columnsOf(*table), columnsOf(people));
    MoxSystem::commit();
}

}  // namespace
