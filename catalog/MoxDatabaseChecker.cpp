#include "MoxDatabaseChecker.h"

#include "MoxCatalogManager.h"
#include "MoxCatalogRow.h"
#include "MoxIndex.h"
#include "../buffer/MoxBufferManager.h"
#include "../index/MoxIndexTreeChecker.h"
#include "../record/MoxRecord.h"
#include "../record/MoxTableChecker.h"
#include "../runtime/MoxRecordTuple.h"
#include "../support/MoxException.h"

namespace {

typedef MoxCatalogManager CM;

std::string code(MoxErrorCode rc) {
    return "(code " + std::to_string(rc) + ")";
}

std::string tidText(PageId page, SlotId slot) {
    return "page " + std::to_string(page) + " slot " + std::to_string(slot);
}

// A catalog row read from the bytes a table check collected; throws
// MOX_CAT_INCONSISTENT_CATALOG when they do not fit the catalog table.
std::unique_ptr<MoxCatalogRow> rowOf(const MoxTable& table, const std::string& bytes) {
    auto* record =
        new MoxRecord(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<Uint16>(bytes.size()));
    return std::make_unique<MoxCatalogRow>(table, record);
}

struct ColumnRow {
    std::string name;
    MoxDataType type;
    Sint32 maxLength;
    bool nullable;
};

bool sameColumn(MoxTable& table, Uint16 column, const ColumnRow& row) {
    const char* name = nullptr;
    MoxDataType type = UnknownDataType;
    Uint16 maxLength = 0;
    bool nullable = false;
    return table.getColumnName(column, name) == MOX_SUCCESS && table.getColumnDatatype(column, type) == MOX_SUCCESS &&
           table.getMaxColumnLength(column, maxLength) == MOX_SUCCESS &&
           table.getIsNullable(column, nullable) == MOX_SUCCESS && row.name == name && row.type == type &&
           row.maxLength == maxLength && row.nullable == nullable;
}

}  // namespace

MoxDatabaseChecker::MoxDatabaseChecker() : catalog(MoxCatalogManager::getInstance()) {}

std::string MoxDatabaseChecker::recordPlace(const std::string& tableName, const std::pair<PageId, SlotId>& tid) {
    return "table " + tableName + " " + tidText(tid.first, tid.second);
}

std::unique_ptr<MoxTable> MoxDatabaseChecker::descriptor(TableId tableId, const std::string& name) {
    MoxTable* table = nullptr;
    MoxErrorCode rc = catalog->getTableDescriptor(tableId, table);
    if (rc != MOX_SUCCESS) {
        problem("table " + name, "descriptor cannot be read " + code(rc));
        return nullptr;
    }
    return std::unique_ptr<MoxTable>(table);
}

MoxCheckProblems MoxDatabaseChecker::checkDatabase() {
    found.clear();
    static const char* const catalogNames[] = {"SYSTABLES", "SYSCOLUMNS", "SYSINDEXES"};
    Records catalogRows[CM::MAX_CATALOG_TABLEID];
    for (TableId id = 1; id <= CM::MAX_CATALOG_TABLEID; ++id) {
        checkTableAndIndexes(id, catalogNames[id - 1], catalogRows[id - 1]);
    }
    std::unique_ptr<MoxTable> sysTables = descriptor(CM::SYSTABLES_ID, catalogNames[0]);
    if (sysTables) {
        for (const auto& [tid, bytes] : catalogRows[0]) {
            try {
                std::unique_ptr<MoxCatalogRow> row = rowOf(*sysTables, bytes);
                const TableId id =
                    static_cast<TableId>(row->integer(CM::SysTables::TABLE_ID, MOX_MIN_TABLE_ID, MOX_MAX_TABLE_ID));
                if (id <= CM::MAX_CATALOG_TABLEID) continue;
                Records records;
                checkTableAndIndexes(id, row->text(CM::SysTables::TABLE_NAME, 1, MOX_MAX_TABLE_NAME_LENGTH), records);
            } catch (const MoxException&) {
                // Reported with the catalog rows below.
            }
        }
    }
    checkCatalogRows(catalogRows[0], catalogRows[1], catalogRows[2]);
    return found;
}

MoxCheckProblems MoxDatabaseChecker::checkTable(const std::string& tableName) {
    found.clear();
    TableId id = MOX_UNKNOWN_TABLE_ID;
    THROW_RC(catalog->getTableId(tableName, id));
    Records records;
    checkTableAndIndexes(id, tableName, records);
    return found;
}

void MoxDatabaseChecker::checkTableAndIndexes(TableId tableId, const std::string& name, Records& records) {
    MoxTableChecker pages(MoxBufferManager::convertTableIdToSegmentId(tableId), name);
    MoxCheckProblems pageProblems = pages.check([&](const TupleId& tid, const unsigned char* bytes, Uint16 length) {
        records[{tid.page, tid.slot}].assign(reinterpret_cast<const char*>(bytes), length);
    });
    found.insert(found.end(), pageProblems.begin(), pageProblems.end());
    std::unique_ptr<MoxTable> table = descriptor(tableId, name);
    if (!table) return;
    try {
        checkRows(name, *table, records);
        MoxErrorCode rc = table->retrieveIndexInformation();
        if (rc != MOX_SUCCESS) {
            problem("table " + name, "index descriptors cannot be read " + code(rc));
            return;
        }
        for (Uint16 position = 0; position < table->getNumIndexes(); ++position) {
            MoxIndex* index = nullptr;
            table->getIndex(position, index);
            checkIndex(name, *table, *index, records);
        }
    } catch (const MoxException& exception) {
        // A descriptor that the catalog built from damaged rows.
        problem("table " + name, "cannot be checked " + code(exception.getErrorCode()));
    }
}

void MoxDatabaseChecker::checkRows(const std::string& name, MoxTable& table, const Records& records) {
    Uint16 columns = 0;
    THROW_RC(table.getNumColumns(columns));
    for (const auto& [tid, bytes] : records) {
        try {
            for (Uint16 column = 0; column < columns; ++column) keyOf(table, column, bytes);
        } catch (const MoxException&) {
            problem(recordPlace(name, tid), "record does not fit the table's columns");
        }
    }
}

MoxDatabaseChecker::KeyText MoxDatabaseChecker::keyOf(MoxTable& table, Uint16 column, const std::string& bytes) {
    MoxRecordTuple tuple(&table);
    THROW_RC(tuple.initialize(
        new MoxRecord(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<Uint16>(bytes.size())),
        &table));
    MoxDataType type = UnknownDataType;
    THROW_RC(table.getColumnDatatype(column, type));
    if (type == INTEGER) {
        Sint32 value = 0;
        bool isNull = false;
        THROW_RC(tuple.getIntValue(column, value, isNull));
        return isNull ? KeyText() : KeyText(std::to_string(value));
    }
    const char* text = nullptr;
    Uint16 length = 0;
    THROW_RC(tuple.getVarchar(column, text, length));
    return text == nullptr ? KeyText() : KeyText("'" + std::string(text, length) + "'");
}

void MoxDatabaseChecker::checkIndex(const std::string& tableName, MoxTable& table, MoxIndex& index,
                                    const Records& records) {
    IndexId indexId = MOX_UNKNOWN_INDEX_ID;
    const char* name = nullptr;
    Uint16 column = 0;
    bool unique = false;
    MoxDataType type = UnknownDataType;
    THROW_RC(index.getIndexId(indexId));
    THROW_RC(index.getIndexName(name));
    THROW_RC(index.getColumnNumber(column));
    THROW_RC(index.getUnique(unique));
    const std::string place = std::string("index ") + name;
    if (table.getColumnDatatype(column, type) != MOX_SUCCESS) {
        problem(place, "on column " + std::to_string(column) + ", which table " + tableName + " does not have");
        return;
    }
    MoxIndexTreeChecker tree(MoxBufferManager::convertIndexIdToSegmentId(indexId), type, name);
    MoxCheckProblems treeProblems = tree.check();
    found.insert(found.end(), treeProblems.begin(), treeProblems.end());
    if (!treeProblems.empty()) return;

    std::map<std::pair<PageId, SlotId>, KeyText> keys;
    for (const auto& [tid, bytes] : records) {
        try {
            keys[tid] = keyOf(table, column, bytes);
        } catch (const MoxException&) {
            // Reported by checkRows; such a record has no key to look for.
        }
    }
    std::set<std::pair<PageId, SlotId>> indexed;
    std::map<std::string, size_t> keyCounts;
    for (const MoxIndexTreeChecker::Entry& entry : tree.entries()) {
        const std::string key =
            type == INTEGER ? std::to_string(entry.key.intKey) : "'" + std::string(entry.key.varcharKey) + "'";
        const std::string leaf = place + " page " + std::to_string(entry.leaf);
        const std::string to = "entry " + key + " leads to " + tidText(entry.tupleId.page, entry.tupleId.slot);
        const auto tid = std::make_pair(entry.tupleId.page, entry.tupleId.slot);
        if (unique && ++keyCounts[key] == 2) problem(leaf, "key " + key + " repeated in a unique index");
        auto record = keys.find(tid);
        if (records.count(tid) == 0) {
            problem(leaf, to + ", which holds no record");
        } else if (record == keys.end()) {
            continue;
        } else if (!record->second || *record->second != key) {
            problem(leaf, to + ", whose key is " + record->second.value_or("NULL"));
        } else if (!indexed.insert(tid).second) {
            problem(leaf, to + " a second time");
        }
    }
    for (const auto& [tid, key] : keys) {
        if (key && indexed.count(tid) == 0)
            problem(recordPlace(tableName, tid), std::string("no entry in index ") + name);
    }
}

void MoxDatabaseChecker::checkCatalogRows(const Records& tables, const Records& columns, const Records& indexes) {
    std::unique_ptr<MoxTable> sysTables = descriptor(CM::SYSTABLES_ID, "SYSTABLES");
    std::unique_ptr<MoxTable> sysColumns = descriptor(CM::SYSCOLUMNS_ID, "SYSCOLUMNS");
    std::unique_ptr<MoxTable> sysIndexes = descriptor(CM::SYSINDEXES_ID, "SYSINDEXES");
    if (!sysTables || !sysColumns || !sysIndexes) return;

    // Each table of SYSTABLES with its descriptor (null when it cannot be
    // read), its name and the column rows found for it.
    struct Described {
        std::string name;
        Sint32 columnCount;
        std::unique_ptr<MoxTable> table;
        std::set<Sint32> columnRows;
    };
    std::map<TableId, Described> described;
    std::set<std::string> names;
    for (const auto& [tid, bytes] : tables) {
        const std::string place = recordPlace("SYSTABLES", tid);
        try {
            std::unique_ptr<MoxCatalogRow> row = rowOf(*sysTables, bytes);
            const std::string name = row->text(CM::SysTables::TABLE_NAME, 1, MOX_MAX_TABLE_NAME_LENGTH);
            const auto id =
                static_cast<TableId>(row->integer(CM::SysTables::TABLE_ID, MOX_MIN_TABLE_ID, MOX_MAX_TABLE_ID));
            const Sint32 columnCount = row->integer(CM::SysTables::COLUMN_COUNT, 1, MOX_MAX_UINT16);
            row->integer(CM::SysTables::TUPLE_COUNT, 0, MOX_MAX_SINT32);
            if (described.count(id) != 0) {
                problem(place, "table id " + std::to_string(id) + " described twice");
                continue;
            }
            if (!names.insert(name).second) problem(place, "table name " + name + " described twice");
            MoxTable* table = nullptr;
            std::unique_ptr<MoxTable> owned(catalog->getTableDescriptor(id, table) == MOX_SUCCESS ? table : nullptr);
            const char* descriptorName = nullptr;
            Uint16 descriptorColumns = 0;
            if (owned && (owned->getTableName(descriptorName) != MOX_SUCCESS || name != descriptorName ||
                          owned->getNumColumns(descriptorColumns) != MOX_SUCCESS || descriptorColumns != columnCount)) {
                problem(place, "row differs from the table's descriptor");
            }
            described[id] = {name, columnCount, std::move(owned), {}};
        } catch (const MoxException&) {
            problem(place, "row does not fit the catalog");
        }
    }
    for (TableId id = 1; id <= CM::MAX_CATALOG_TABLEID; ++id) {
        if (described.count(id) == 0) problem("table SYSTABLES", "no row for table " + std::to_string(id));
    }

    for (const auto& [tid, bytes] : columns) {
        const std::string place = recordPlace("SYSCOLUMNS", tid);
        try {
            std::unique_ptr<MoxCatalogRow> row = rowOf(*sysColumns, bytes);
            const Sint32 tableId = row->integer(CM::SysColumns::TABLE_ID, MOX_MIN_TABLE_ID, MOX_MAX_TABLE_ID);
            ColumnRow column;
            column.name = row->text(CM::SysColumns::COLUMN_NAME, 1, MOX_MAX_COLUMN_NAME_LENGTH);
            const Sint32 number = row->integer(CM::SysColumns::COLUMN_ID, 0, MOX_MAX_UINT16);
            column.type = row->word(CM::SysColumns::DATA_TYPE, {"VARCHAR", "INTEGER"}) == 0 ? VARCHAR : INTEGER;
            column.maxLength = row->integer(CM::SysColumns::MAX_LENGTH, 1, MOX_MAX_UINT16);
            column.nullable = row->word(CM::SysColumns::NULLABLE, {"N", "Y"}) == 1;
            auto table = described.find(static_cast<TableId>(tableId));
            if (table == described.end()) {
                problem(place, "column row of table " + std::to_string(tableId) + ", which the catalog does not hold");
            } else if (number >= table->second.columnCount) {
                problem(place, "column " + std::to_string(number) + " beyond the table's COLUMN_COUNT");
            } else if (!table->second.columnRows.insert(number).second) {
                problem(place, "column " + std::to_string(number) + " described twice");
            } else if (table->second.table && !sameColumn(*table->second.table, static_cast<Uint16>(number), column)) {
                problem(place, "row differs from the table's descriptor");
            }
        } catch (const MoxException&) {
            problem(place, "row does not fit the catalog");
        }
    }
    for (const auto& [id, table] : described) {
        if (table.columnRows.size() != static_cast<size_t>(table.columnCount)) {
            problem("table " + table.name, "COLUMN_COUNT " + std::to_string(table.columnCount) + " but " +
                                               std::to_string(table.columnRows.size()) + " column rows");
        }
    }

    std::set<IndexId> indexIds;
    std::set<std::string> indexNames;
    for (const auto& [tid, bytes] : indexes) {
        const std::string place = recordPlace("SYSINDEXES", tid);
        try {
            std::unique_ptr<MoxCatalogRow> row = rowOf(*sysIndexes, bytes);
            const auto tableId =
                static_cast<TableId>(row->integer(CM::SysIndexes::TABLE_ID, MOX_MIN_TABLE_ID, MOX_MAX_TABLE_ID));
            const std::string name = row->text(CM::SysIndexes::INDEX_NAME, 1, MOX_MAX_INDEX_NAME_LENGTH);
            const auto id =
                static_cast<IndexId>(row->integer(CM::SysIndexes::INDEX_ID, MOX_MIN_INDEX_ID, MOX_MAX_INDEX_ID));
            row->word(CM::SysIndexes::INDEX_TYPE, {"BTREE", "HASH"});
            const Sint32 column = row->integer(CM::SysIndexes::COLUMN_ID, 0, MOX_MAX_UINT16);
            const bool unique = row->word(CM::SysIndexes::IS_UNIQUE, {"N", "Y"}) == 1;
            if (!indexIds.insert(id).second) problem(place, "index id " + std::to_string(id) + " described twice");
            if (!indexNames.insert(name).second) problem(place, "index name " + name + " described twice");
            auto table = described.find(tableId);
            if (table == described.end()) {
                problem(place, "index row of table " + std::to_string(tableId) + ", which the catalog does not hold");
                continue;
            }
            if (column >= table->second.columnCount) {
                problem(place, "index on column " + std::to_string(column) + ", which table " + table->second.name +
                                   " does not have");
            }
            MoxIndex* index = nullptr;
            MoxErrorCode rc = catalog->getIndexDescriptor(id, index);
            std::unique_ptr<MoxIndex> owned(rc == MOX_SUCCESS ? index : nullptr);
            const char* descriptorName = nullptr;
            TableId descriptorTable = 0;
            Uint16 descriptorColumn = 0;
            bool descriptorUnique = false;
            if (!owned) {
                problem(place, "index descriptor cannot be read " + code(rc));
            } else if (owned->getIndexName(descriptorName) != MOX_SUCCESS || name != descriptorName ||
                       owned->getTableId(descriptorTable) != MOX_SUCCESS || descriptorTable != tableId ||
                       owned->getColumnNumber(descriptorColumn) != MOX_SUCCESS || descriptorColumn != column ||
                       owned->getUnique(descriptorUnique) != MOX_SUCCESS || descriptorUnique != unique) {
                problem(place, "row differs from the index's descriptor");
            }
        } catch (const MoxException&) {
            problem(place, "row does not fit the catalog");
        }
    }
    for (IndexId id = 1; id <= CM::MAX_CATALOG_INDEXID; ++id) {
        if (indexIds.count(id) == 0) problem("table SYSINDEXES", "no row for index " + std::to_string(id));
    }
}
