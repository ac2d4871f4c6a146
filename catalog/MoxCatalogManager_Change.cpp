// Adding and removing the definitions of tables and indexes, within the
// caller's transaction.

#include <memory>
#include <string>

#include "MoxCatalogManager.h"
#include "MoxCatalogRow.h"
#include "../index/MoxIndexManager.h"
#include "../record/MoxRecordManager.h"
#include "../support/MoxError.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = CatalogManager;

namespace {

const char* typeWord(MoxDataType type) {
    return type == INTEGER ? "INTEGER" : "VARCHAR";
}

const char* flagWord(bool flag) {
    return flag ? "Y" : "N";
}

bool isCatalogTable(TableId id) {
    return id >= MoxCatalogManager::SYSTABLES_ID && id <= MoxCatalogManager::MAX_CATALOG_TABLEID;
}

}  // namespace

Uint16 MoxCatalogManager::newId(IndexId catalogIndex, Sint32 first, Sint32 highest, Uint16 whenEmpty) {
    MOX_TRACE_ENTRY();
    MoxIndexKey last;
    TupleId tid;
    try {
        indexMgr->findLastKey(catalogIndex, last, tid);
    } catch (const MoxException& exception) {
        if (exception.getErrorCode() != MOX_NOT_FOUND_WARN || whenEmpty == 0) {
            throw;
        }
        return whenEmpty;
    }
    if (last.intKey >= 0 && last.intKey < highest) {
        return static_cast<Uint16>(last.intKey + 1);
    }
    // The largest id is taken: the first hole below it, if any.
    for (Sint32 id = first; id <= highest; ++id) {
        try {
            indexMgr->find(catalogIndex, MoxIndexKey(id), tid);
        } catch (const MoxException& exception) {
            if (exception.getErrorCode() != MOX_NOT_FOUND_WARN) {
                throw;
            }
            return static_cast<Uint16>(id);
        }
    }
    return 0;
}

MoxErrorCode MoxCatalogManager::insertRow(TableId catalogTable, const std::function<void(MoxCatalogRow&)>& build,
                                          TupleId& tid) {
    MOX_TRACE_ENTRY();
    return recorded([&] {
        MoxCatalogRow row(this->catalogTable(catalogTable));
        build(row);
        recordMgr->insert(row.record(), catalogTable, tid);
    });
}

void MoxCatalogManager::removeRow(TableId catalogTable, const TupleId& tid,
                                  std::initializer_list<std::pair<IndexId, Sint32>> entries) {
    MOX_TRACE_ENTRY();
    recordMgr->remove(catalogTable, tid);
    for (const auto& [catalogIndex, key] : entries) {
        indexMgr->remove(catalogIndex, MoxIndexKey(key), &tid);
    }
}

// --- Tables ---

MoxErrorCode MoxCatalogManager::addTable(MoxTable& table, TableId& tableId) {
    MOX_TRACE_ENTRY();
    return addTable(table, true, tableId);
}

MoxErrorCode MoxCatalogManager::checkNewTable(const MoxTable& table, bool protectCatalog) {
    MOX_TRACE_ENTRY();
    for (TableId id = SYSTABLES_ID; protectCatalog && id <= MAX_CATALOG_TABLEID; ++id) {
        if (table.hasTableId(id)) {
            MOX_SET_ERROR(MOX_CAT_MODIFYING_CATALOG_TABLES_NOT_ALLOWED);
            return MOX_CAT_MODIFYING_CATALOG_TABLES_NOT_ALLOWED;
        }
    }
    const char* name = nullptr;
    Uint16 count = 0;
    MoxErrorCode rc;
    if ((rc = table.getTableName(name)) != MOX_SUCCESS || (rc = table.getNumColumns(count)) != MOX_SUCCESS) {
        return rc;
    }
    for (Uint16 column = 0; column < count; ++column) {
        MoxDataType type = UnknownDataType;
        table.getColumnDatatype(column, type);
        if (type != INTEGER && type != VARCHAR) {
            MOX_SET_ERROR_TOKEN1(MOX_INTERNAL_FAIL, static_cast<Uint32>(column));
            return MOX_INTERNAL_FAIL;
        }
    }
    return MOX_SUCCESS;
}

MoxErrorCode MoxCatalogManager::addTable(MoxTable& table, bool protectCatalog, TableId& tableId) {
    MOX_TRACE_ENTRY();
    MoxErrorCode rc = checkNewTable(table, protectCatalog);
    if (rc != MOX_SUCCESS) {
        return rc;
    }
    // Only the bootstrap's SYSTABLES finds index 1 empty.
    const TableId id = newId(IDX_SYSTABLES_TABLEID_ID, MOX_MIN_TABLE_ID, MOX_MAX_TABLE_ID,
                             table.hasTableId(SYSTABLES_ID) ? SYSTABLES_ID : 0);
    if (id == MOX_UNKNOWN_TABLE_ID) {
        MOX_SET_ERROR(MOX_CAT_TOO_MANY_TABLES);
        return MOX_CAT_TOO_MANY_TABLES;
    }
    char timestamp[timestampLength + 1];
    const char* name = nullptr;
    Uint16 count = 0;
    if ((rc = getCurrentTimestamp(timestamp)) != MOX_SUCCESS || (rc = table.getTableName(name)) != MOX_SUCCESS ||
        (rc = table.getNumColumns(count)) != MOX_SUCCESS) {
        return rc;
    }
    TupleId tid;
    rc = insertRow(
        SYSTABLES_ID,
        [&](MoxCatalogRow& row) {
            row.setText(SysTables::TABLE_NAME, name);
            row.setInteger(SysTables::TABLE_ID, id);
            row.setInteger(SysTables::COLUMN_COUNT, count);
            row.setText(SysTables::CREATE_TIME, timestamp);
            row.setInteger(SysTables::TUPLE_COUNT, 0);
        },
        tid);
    if (rc != MOX_SUCCESS) {
        return rc;
    }
    indexMgr->insert(IDX_SYSTABLES_TABLEID_ID, MoxIndexKey(id), tid);
    for (Uint16 column = 0; column < count; ++column) {
        const char* columnName = nullptr;
        MoxDataType type = UnknownDataType;
        Uint16 maxLength = 0;
        bool nullable = false;
        table.getColumnName(column, columnName);
        table.getColumnDatatype(column, type);
        table.getMaxColumnLength(column, maxLength);
        table.getIsNullable(column, nullable);
        rc = insertRow(
            SYSCOLUMNS_ID,
            [&](MoxCatalogRow& row) {
                row.setInteger(SysColumns::TABLE_ID, id);
                row.setText(SysColumns::COLUMN_NAME, columnName);
                row.setInteger(SysColumns::COLUMN_ID, column);
                row.setText(SysColumns::DATA_TYPE, typeWord(type));
                row.setInteger(SysColumns::MAX_LENGTH, maxLength);
                row.setText(SysColumns::NULLABLE, flagWord(nullable));
            },
            tid);
        if (rc != MOX_SUCCESS) {
            return rc;
        }
        indexMgr->insert(IDX_SYSCOLUMNS_TABLEID_ID, MoxIndexKey(id), tid);
    }
    table.setTableId(id);
    tableId = id;
    return MOX_SUCCESS;
}

MoxErrorCode MoxCatalogManager::removeTable(TableId tableId) {
    MOX_TRACE_ENTRY();
    if (isCatalogTable(tableId)) {
        MOX_SET_ERROR(MOX_CAT_MODIFYING_CATALOG_TABLES_NOT_ALLOWED);
        return MOX_CAT_MODIFYING_CATALOG_TABLES_NOT_ALLOWED;
    }
    // Loaded first: a table whose rows break the catalog's rules is left alone.
    MoxTable* described = nullptr;
    MoxErrorCode rc = getTableDescriptor(tableId, described);
    std::unique_ptr<MoxTable> table(described);
    if (rc != MOX_SUCCESS) {
        return rc;
    }
    return recorded([&] {
        for (const TupleId& tid : MoxCatalogRow::rowsWithKey(*indexMgr, IDX_SYSCOLUMNS_TABLEID_ID, tableId)) {
            removeRow(SYSCOLUMNS_ID, tid, {{IDX_SYSCOLUMNS_TABLEID_ID, tableId}});
        }
        removeRow(SYSTABLES_ID, findRow(IDX_SYSTABLES_TABLEID_ID, tableId), {{IDX_SYSTABLES_TABLEID_ID, tableId}});
    });
}

// --- Indexes ---

MoxErrorCode MoxCatalogManager::addIndex(MoxIndex& index, IndexId& indexId) {
    MOX_TRACE_ENTRY();
    return addIndex(index, true, indexId);
}

MoxErrorCode MoxCatalogManager::checkNewIndex(const MoxIndex& index, bool protectCatalog) {
    MOX_TRACE_ENTRY();
    TableId tableId = MOX_UNKNOWN_TABLE_ID;
    MoxErrorCode rc = index.getTableId(tableId);
    if (rc != MOX_SUCCESS) {
        return rc;
    }
    if (protectCatalog && isCatalogTable(tableId)) {
        MOX_SET_ERROR(MOX_CAT_MODIFYING_CATALOG_TABLES_NOT_ALLOWED);
        return MOX_CAT_MODIFYING_CATALOG_TABLES_NOT_ALLOWED;
    }
    const char* name = nullptr;
    MoxIndexType type = UnknownIndexType;
    Uint16 column = 0;
    bool unique = false;
    if ((rc = index.getIndexName(name)) != MOX_SUCCESS || (rc = index.getColumnNumber(column)) != MOX_SUCCESS ||
        (rc = index.getUnique(unique)) != MOX_SUCCESS) {
        return rc;
    }
    if (index.getIndexType(type) != MOX_SUCCESS) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return MOX_INTERNAL_FAIL;
    }
    // The indexed column must exist, and a varchar column's longest value
    // must fit an index key.
    MoxTable* described = nullptr;
    rc = getTableDescriptor(tableId, described);
    std::unique_ptr<MoxTable> table(described);
    MoxDataType dataType = UnknownDataType;
    Uint16 maxLength = 0;
    const char* columnName = nullptr;
    if (rc != MOX_SUCCESS || (rc = table->getColumnDatatype(column, dataType)) != MOX_SUCCESS ||
        (rc = table->getMaxColumnLength(column, maxLength)) != MOX_SUCCESS ||
        (rc = table->getColumnName(column, columnName)) != MOX_SUCCESS) {
        return rc;
    }
    if (dataType == VARCHAR && maxLength > MOX_INDEX_VARCHAR_LENGTH) {
        const std::string keyType = "VARCHAR(" + std::to_string(MOX_INDEX_VARCHAR_LENGTH) + ")";
        const std::string columnType = "VARCHAR(" + std::to_string(maxLength) + ")";
        MOX_SET_ERROR_TOKEN3(MOX_CAT_DATATYPE_MISMATCH, keyType.c_str(), columnName, columnType.c_str());
        return MOX_CAT_DATATYPE_MISMATCH;
    }
    return MOX_SUCCESS;
}

MoxErrorCode MoxCatalogManager::addIndex(MoxIndex& index, bool protectCatalog, IndexId& indexId) {
    MOX_TRACE_ENTRY();
    MoxErrorCode rc = checkNewIndex(index, protectCatalog);
    if (rc != MOX_SUCCESS) {
        return rc;
    }
    const IndexId id = newId(IDX_SYSINDEXES_INDEXID_ID, MAX_CATALOG_INDEXID + 1, MOX_MAX_INDEX_ID, MOX_MIN_INDEX_ID);
    if (id == MOX_UNKNOWN_INDEX_ID) {
        MOX_SET_ERROR(MOX_CAT_TOO_MANY_INDEXES);
        return MOX_CAT_TOO_MANY_INDEXES;
    }
    char timestamp[timestampLength + 1];
    if ((rc = getCurrentTimestamp(timestamp)) != MOX_SUCCESS) {
        return rc;
    }
    TableId tableId = MOX_UNKNOWN_TABLE_ID;
    const char* name = nullptr;
    MoxIndexType type = UnknownIndexType;
    Uint16 column = 0;
    bool unique = false;
    index.getTableId(tableId);
    index.getIndexName(name);
    index.getIndexType(type);
    index.getColumnNumber(column);
    index.getUnique(unique);
    TupleId tid;
    rc = insertRow(
        SYSINDEXES_ID,
        [&](MoxCatalogRow& row) {
            row.setInteger(SysIndexes::TABLE_ID, tableId);
            row.setText(SysIndexes::INDEX_NAME, name);
            row.setInteger(SysIndexes::INDEX_ID, id);
            row.setText(SysIndexes::INDEX_TYPE, type == BTree ? "BTREE" : "HASH");
            row.setInteger(SysIndexes::COLUMN_ID, column);
            row.setText(SysIndexes::IS_UNIQUE, flagWord(unique));
            row.setText(SysIndexes::CREATE_TIME, timestamp);
        },
        tid);
    if (rc != MOX_SUCCESS) {
        return rc;
    }
    indexMgr->insert(IDX_SYSINDEXES_TABLEID_ID, MoxIndexKey(tableId), tid);
    indexMgr->insert(IDX_SYSINDEXES_INDEXID_ID, MoxIndexKey(id), tid);
    index.setIndexId(id);
    indexId = id;
    return MOX_SUCCESS;
}

MoxErrorCode MoxCatalogManager::removeIndex(IndexId indexId) {
    MOX_TRACE_ENTRY();
    if (indexId >= MOX_MIN_INDEX_ID && indexId <= MAX_CATALOG_INDEXID) {
        MOX_SET_ERROR(MOX_CAT_MODIFYING_CATALOG_TABLES_NOT_ALLOWED);
        return MOX_CAT_MODIFYING_CATALOG_TABLES_NOT_ALLOWED;
    }
    MoxIndex* described = nullptr;
    MoxErrorCode rc = getIndexDescriptor(indexId, described);
    std::unique_ptr<MoxIndex> index(described);
    TableId tableId = MOX_UNKNOWN_TABLE_ID;
    if (rc != MOX_SUCCESS || (rc = index->getTableId(tableId)) != MOX_SUCCESS) {
        return rc;
    }
    return recorded([&] {
        removeRow(SYSINDEXES_ID, findRow(IDX_SYSINDEXES_INDEXID_ID, indexId),
                  {{IDX_SYSINDEXES_TABLEID_ID, tableId}, {IDX_SYSINDEXES_INDEXID_ID, indexId}});
    });
}
