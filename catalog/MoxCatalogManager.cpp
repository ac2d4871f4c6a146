#include "MoxCatalogManager.h"

#include <sys/time.h>
#include <time.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "MoxCatalogRow.h"
#include "../index/MoxIndexManager.h"
#include "../record/MoxRecordIterator.h"
#include "../record/MoxRecordManager.h"
#include "../support/MoxError.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = CatalogManager;

namespace {

struct ColumnSchema {
    const char* name;
    MoxDataType type;
    Uint16 maxLength;
};

struct TableSchema {
    const char* name;
    std::vector<ColumnSchema> columns;
};

// The catalog tables by id - 1, their columns in the order of the column
// numbers of MoxCatalogManager::SysTables, SysColumns and SysIndexes.
const TableSchema catalogSchemas[MoxCatalogManager::MAX_CATALOG_TABLEID] = {
    {"SYSTABLES",
     {{"TABLE_NAME", VARCHAR, MOX_MAX_TABLE_NAME_LENGTH},
      {"TABLE_ID", INTEGER, 4},
      {"COLUMN_COUNT", INTEGER, 4},
      {"CREATE_TIME", VARCHAR, 26},
      {"TUPLE_COUNT", INTEGER, 4}}},
    {"SYSCOLUMNS",
     {{"TABLE_ID", INTEGER, 4},
      {"COLUMN_NAME", VARCHAR, MOX_MAX_COLUMN_NAME_LENGTH},
      {"COLUMN_ID", INTEGER, 4},
      {"DATA_TYPE", VARCHAR, 128},
      {"MAX_LENGTH", INTEGER, 4},
      {"NULLABLE", VARCHAR, 1}}},
    {"SYSINDEXES",
     {{"TABLE_ID", INTEGER, 4},
      {"INDEX_NAME", VARCHAR, MOX_MAX_INDEX_NAME_LENGTH},
      {"INDEX_ID", INTEGER, 4},
      {"INDEX_TYPE", VARCHAR, 5},
      {"COLUMN_ID", INTEGER, 4},
      {"IS_UNIQUE", VARCHAR, 1},
      {"CREATE_TIME", VARCHAR, 26}}},
};

}  // namespace

const MoxCatalogManager::IndexDefinition MoxCatalogManager::indexDefs[MAX_CATALOG_INDEXID] = {
    {IDX_SYSTABLES_TABLEID_ID, "IDX_SYSTABLES_TABLEID_ID", SYSTABLES_ID, SysTables::TABLE_ID, INTEGER, true},
    {IDX_SYSCOLUMNS_TABLEID_ID, "IDX_SYSCOLUMNS_TABLEID_ID", SYSCOLUMNS_ID, SysColumns::TABLE_ID, INTEGER, false},
    {IDX_SYSINDEXES_TABLEID_ID, "IDX_SYSINDEXES_TABLEID_ID", SYSINDEXES_ID, SysIndexes::TABLE_ID, INTEGER, false},
    {IDX_SYSINDEXES_INDEXID_ID, "IDX_SYSINDEXES_INDEXID_ID", SYSINDEXES_ID, SysIndexes::INDEX_ID, INTEGER, true},
};

MoxCatalogManager* MoxCatalogManager::instance = nullptr;

MoxCatalogManager* MoxCatalogManager::getInstance() {
    if (instance == nullptr) {
        instance = new MoxCatalogManager(true);
    }
    return instance;
}

MoxCatalogManager::MoxCatalogManager(bool startTx)
    : indexMgr(MoxIndexManager::getInstance()), recordMgr(MoxRecordManager::getInstance()) {
    MOX_TRACE_ENTRY();
    for (TableId id = SYSTABLES_ID; id <= MAX_CATALOG_TABLEID; ++id) {
        describeCatalogTable(id, catalogTables[id - 1]);
    }
    if (startTx) {
        startTransaction();
    }
}

MoxCatalogManager::~MoxCatalogManager() {
    MOX_TRACE_ENTRY();
    if (instance == this) {
        instance = nullptr;
    }
}

void MoxCatalogManager::startTransaction() {
    MOX_TRACE_ENTRY();
    for (const IndexDefinition& definition : indexDefs) {
        indexMgr->openIndex(definition.indexId, definition.unique, BTree, definition.dataType);
    }
}

MoxErrorCode MoxCatalogManager::recorded(const std::function<void()>& body) {
    try {
        body();
        return MOX_SUCCESS;
    } catch (const MoxException& exception) {
        exception.SET_ERROR();
        MOX_TRACE_ERROR();
        return exception.getErrorCode();
    }
}

// --- Names and descriptors ---

void MoxCatalogManager::describeCatalogTable(TableId tableId, MoxTable& table) {
    MOX_TRACE_ENTRY();
    const TableSchema& schema = catalogSchemas[tableId - 1];
    THROW_RC(table.setTableId(tableId));
    THROW_RC(table.setTableName(schema.name));
    THROW_RC(table.createColumns(static_cast<Uint16>(schema.columns.size())));
    for (size_t i = 0; i < schema.columns.size(); ++i) {
        const ColumnSchema& column = schema.columns[i];
        THROW_RC(table.setColumnDefinition(static_cast<Uint16>(i), column.name, column.type, column.maxLength, false));
    }
}

TupleId MoxCatalogManager::findRow(IndexId catalogIndex, Sint32 key) {
    MOX_TRACE_ENTRY();
    TupleId tid;
    indexMgr->find(catalogIndex, MoxIndexKey(key), tid);
    return tid;
}

bool MoxCatalogManager::scanFor(TableId catalogTable, const std::function<bool(MoxCatalogRow&)>& found) {
    MOX_TRACE_ENTRY();
    MoxRecordIterator* created = nullptr;
    recordMgr->getRecordIterator(catalogTable, created);
    std::unique_ptr<MoxRecordIterator> scan(created);
    for (;;) {
        MoxRecord* record = nullptr;
        MoxErrorCode rc = scan->getNext(record);
        if (rc == MOX_NOT_FOUND_WARN) {
            return false;
        }
        THROW_RC(rc);
        MoxCatalogRow row(this->catalogTable(catalogTable), record);
        if (found(row)) {
            return true;
        }
    }
}

MoxErrorCode MoxCatalogManager::getTableId(const std::string& name, TableId& tableId) {
    MOX_TRACE_ENTRY();
    if (name.empty()) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    for (TableId id = SYSTABLES_ID; id <= MAX_CATALOG_TABLEID; ++id) {
        if (name == catalogSchemas[id - 1].name) {
            tableId = id;
            return MOX_SUCCESS;
        }
    }
    bool found = false;
    MoxErrorCode rc = recorded([&] {
        found = scanFor(SYSTABLES_ID, [&](MoxCatalogRow& row) {
            if (row.text(SysTables::TABLE_NAME, 1, MOX_MAX_TABLE_NAME_LENGTH) != name) {
                return false;
            }
            tableId = static_cast<TableId>(row.integer(SysTables::TABLE_ID, MOX_MIN_TABLE_ID, MOX_MAX_TABLE_ID));
            return true;
        });
    });
    if (rc == MOX_SUCCESS && !found) {
        MOX_SET_ERROR(MOX_NOT_FOUND_WARN);
        return MOX_NOT_FOUND_WARN;
    }
    return rc;
}

MoxErrorCode MoxCatalogManager::getIndexId(const std::string& name, IndexId& indexId) {
    MOX_TRACE_ENTRY();
    if (name.empty()) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    for (const IndexDefinition& definition : indexDefs) {
        if (name == definition.indexName) {
            indexId = definition.indexId;
            return MOX_SUCCESS;
        }
    }
    bool found = false;
    MoxErrorCode rc = recorded([&] {
        found = scanFor(SYSINDEXES_ID, [&](MoxCatalogRow& row) {
            if (row.text(SysIndexes::INDEX_NAME, 1, MOX_MAX_INDEX_NAME_LENGTH) != name) {
                return false;
            }
            indexId = static_cast<IndexId>(row.integer(SysIndexes::INDEX_ID, MOX_MIN_INDEX_ID, MOX_MAX_INDEX_ID));
            return true;
        });
    });
    if (rc == MOX_SUCCESS && !found) {
        MOX_SET_ERROR(MOX_NOT_FOUND_WARN);
        return MOX_NOT_FOUND_WARN;
    }
    return rc;
}

MoxErrorCode MoxCatalogManager::getTableDescriptor(TableId tableId, MoxTable*& table) {
    MOX_TRACE_ENTRY();
    if (tableId < MOX_MIN_TABLE_ID || tableId > MOX_MAX_TABLE_ID) {
        MOX_SET_ERROR_TOKEN1(MOX_PARAMETER_FAIL, static_cast<Uint32>(tableId));
        return MOX_PARAMETER_FAIL;
    }
    std::unique_ptr<MoxTable> allocated(table == nullptr ? new MoxTable() : nullptr);
    MoxTable& filled = allocated ? *allocated : *table;
    MoxErrorCode rc = recorded([&] {
        if (tableId <= MAX_CATALOG_TABLEID) {
            describeCatalogTable(tableId, filled);
        } else {
            readTable(tableId, filled);
        }
    });
    if (rc == MOX_SUCCESS && allocated) {
        table = allocated.release();
    }
    return rc;
}

void MoxCatalogManager::readTable(TableId tableId, MoxTable& table) {
    MOX_TRACE_ENTRY();
    MoxCatalogRow row(catalogTable(SYSTABLES_ID), findRow(IDX_SYSTABLES_TABLEID_ID, tableId));
    const std::string name = row.text(SysTables::TABLE_NAME, 1, MOX_MAX_TABLE_NAME_LENGTH);
    row.integer(SysTables::TABLE_ID, tableId, tableId);
    const Sint32 columnCount = row.integer(SysTables::COLUMN_COUNT, 1, MOX_MAX_UINT16);
    const Sint32 tupleCount = row.integer(SysTables::TUPLE_COUNT, 0, MOX_MAX_SINT32);
    THROW_RC(table.setTableId(tableId));
    THROW_RC(table.setTableName(name.c_str()));
    THROW_RC(table.createColumns(static_cast<Uint16>(columnCount)));
    table.setTupleCount(static_cast<Uint32>(tupleCount));

    // Exactly one row for each column: with a row missing or repeated some
    // column would stay undefined.
    const std::vector<TupleId> columnRows = MoxCatalogRow::rowsWithKey(*indexMgr, IDX_SYSCOLUMNS_TABLEID_ID, tableId);
    if (columnRows.size() != static_cast<size_t>(columnCount)) {
        THROW(MOX_CAT_INCONSISTENT_CATALOG);
    }
    std::vector<bool> defined(static_cast<size_t>(columnCount), false);
    for (const TupleId& tid : columnRows) {
        MoxCatalogRow column(catalogTable(SYSCOLUMNS_ID), tid);
        column.integer(SysColumns::TABLE_ID, tableId, tableId);
        const std::string columnName = column.text(SysColumns::COLUMN_NAME, 1, MOX_MAX_COLUMN_NAME_LENGTH);
        const Sint32 number = column.integer(SysColumns::COLUMN_ID, 0, columnCount - 1);
        const MoxDataType type = column.word(SysColumns::DATA_TYPE, {"VARCHAR", "INTEGER"}) == 0 ? VARCHAR : INTEGER;
        const Sint32 maxLength = column.integer(SysColumns::MAX_LENGTH, 1, MOX_MAX_UINT16);
        const bool nullable = column.word(SysColumns::NULLABLE, {"N", "Y"}) == 1;
        if (defined[static_cast<size_t>(number)]) {
            THROW(MOX_CAT_INCONSISTENT_CATALOG);
        }
        defined[static_cast<size_t>(number)] = true;
        THROW_RC(table.setColumnDefinition(static_cast<Uint16>(number), columnName.c_str(), type,
                                           static_cast<Uint16>(maxLength), nullable));
    }
}

MoxErrorCode MoxCatalogManager::getIndexDescriptor(IndexId indexId, MoxIndex*& index) {
    MOX_TRACE_ENTRY();
    if (indexId < MOX_MIN_INDEX_ID || indexId > MOX_MAX_INDEX_ID) {
        MOX_SET_ERROR_TOKEN1(MOX_PARAMETER_FAIL, static_cast<Uint32>(indexId));
        return MOX_PARAMETER_FAIL;
    }
    std::unique_ptr<MoxIndex> allocated(index == nullptr ? new MoxIndex() : nullptr);
    MoxIndex& filled = allocated ? *allocated : *index;
    MoxErrorCode rc = recorded([&] {
        if (indexId > MAX_CATALOG_INDEXID) {
            readIndex(indexId, filled);
            return;
        }
        const IndexDefinition& definition = indexDefs[indexId - 1];
        THROW_RC(filled.setIndexId(indexId));
        THROW_RC(filled.setIndexName(definition.indexName));
        THROW_RC(filled.setIndexType(BTree));
        THROW_RC(filled.setTableId(definition.tableId));
        THROW_RC(filled.setColumnNumber(definition.columnId));
        THROW_RC(filled.setUnique(definition.unique));
    });
    if (rc == MOX_SUCCESS && allocated) {
        index = allocated.release();
    }
    return rc;
}

void MoxCatalogManager::readIndex(IndexId indexId, MoxIndex& index) {
    MOX_TRACE_ENTRY();
    MoxCatalogRow row(catalogTable(SYSINDEXES_ID), findRow(IDX_SYSINDEXES_INDEXID_ID, indexId));
    const Sint32 tableId = row.integer(SysIndexes::TABLE_ID, MOX_MIN_TABLE_ID, MOX_MAX_TABLE_ID);
    const std::string name = row.text(SysIndexes::INDEX_NAME, 1, MOX_MAX_INDEX_NAME_LENGTH);
    row.integer(SysIndexes::INDEX_ID, indexId, indexId);
    const MoxIndexType type = row.word(SysIndexes::INDEX_TYPE, {"BTREE", "HASH"}) == 0 ? BTree : Hash;
    const Sint32 column = row.integer(SysIndexes::COLUMN_ID, 0, MOX_MAX_UINT16);
    const bool unique = row.word(SysIndexes::IS_UNIQUE, {"N", "Y"}) == 1;
    THROW_RC(index.setIndexId(indexId));
    THROW_RC(index.setIndexName(name.c_str()));
    THROW_RC(index.setIndexType(type));
    THROW_RC(index.setTableId(static_cast<TableId>(tableId)));
    THROW_RC(index.setColumnNumber(static_cast<Uint16>(column)));
    THROW_RC(index.setUnique(unique));
}

MoxErrorCode MoxCatalogManager::getSystemIndexParameters(IndexId indexId, const char*& name, TableId& tableId,
                                                         Uint16& column, MoxDataType& dataType, bool& unique) {
    MOX_TRACE_ENTRY();
    if (indexId < MOX_MIN_INDEX_ID || indexId > MAX_CATALOG_INDEXID) {
        MOX_SET_ERROR_TOKEN1(MOX_PARAMETER_FAIL, static_cast<Uint32>(indexId));
        return MOX_PARAMETER_FAIL;
    }
    const IndexDefinition& definition = indexDefs[indexId - 1];
    if (definition.indexId != indexId) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return MOX_INTERNAL_FAIL;
    }
    name = definition.indexName;
    tableId = definition.tableId;
    column = definition.columnId;
    dataType = definition.dataType;
    unique = definition.unique;
    return MOX_SUCCESS;
}

// --- Tuple counts ---

MoxErrorCode MoxCatalogManager::getTupleCount(TableId tableId, Uint32& count) {
    MOX_TRACE_ENTRY();
    return recorded([&] {
        MoxCatalogRow row(catalogTable(SYSTABLES_ID), findRow(IDX_SYSTABLES_TABLEID_ID, tableId));
        count = static_cast<Uint32>(row.integer(SysTables::TUPLE_COUNT, 0, MOX_MAX_SINT32));
    });
}

MoxErrorCode MoxCatalogManager::updateTupleCount(TableId tableId, Sint32 count) {
    MOX_TRACE_ENTRY();
    if (count < 0) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return MOX_INTERNAL_FAIL;
    }
    return recorded([&] {
        const TupleId tid = findRow(IDX_SYSTABLES_TABLEID_ID, tableId);
        MoxCatalogRow row(catalogTable(SYSTABLES_ID), tid, true);
        row.integer(SysTables::TUPLE_COUNT, 0, MOX_MAX_SINT32);
        row.setInteger(SysTables::TUPLE_COUNT, count);
        recordMgr->replace(SYSTABLES_ID, tid, row.record());
    });
}

MoxErrorCode MoxCatalogManager::getTupleCountByCounting(TableId tableId, Uint32& count) {
    MOX_TRACE_ENTRY();
    return recorded([&] {
        MoxRecordIterator* created = nullptr;
        recordMgr->getRecordIterator(tableId, created);
        std::unique_ptr<MoxRecordIterator> scan(created);
        MoxRecord record;
        MoxRecord* reused = &record;
        Uint32 counted = 0;
        MoxErrorCode rc;
        while ((rc = scan->getNext(reused)) == MOX_SUCCESS) {
            ++counted;
        }
        if (rc != MOX_NOT_FOUND_WARN) {
            THROW_RC(rc);
        }
        count = counted;
    });
}

MoxErrorCode MoxCatalogManager::runstats() {
    MOX_TRACE_ENTRY();
    MoxTable* systables = nullptr;
    MoxErrorCode rc = getTableDescriptor(SYSTABLES_ID, systables);
    delete systables;
    return rc;
}

MoxErrorCode MoxCatalogManager::getCurrentTimestamp(char* buffer) {
    MOX_TRACE_ENTRY();
    if (buffer == nullptr) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    timeval now;
    tm local;
    if (gettimeofday(&now, nullptr) != 0 || localtime_r(&now.tv_sec, &local) == nullptr) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return MOX_INTERNAL_FAIL;
    }
    // 26 characters for the years 1000 to 9999; another year would not fit
    // the catalog's CREATE_TIME.
    char text[96];
    int length =
        snprintf(text, sizeof(text), "%4d-%02d-%02d %02d:%02d:%02d.%06ld", local.tm_year + 1900, local.tm_mon + 1,
                 local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<long>(now.tv_usec));
    if (length != timestampLength) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return MOX_INTERNAL_FAIL;
    }
    memcpy(buffer, text, timestampLength + 1);
    return MOX_SUCCESS;
}
