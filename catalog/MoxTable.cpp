#include "MoxTable.h"

#include <cstring>
#include <memory>
#include <utility>

#include "MoxCatalogManager.h"
#include "MoxCatalogName.h"
#include "MoxCatalogRow.h"
#include "../index/MoxIndexManager.h"
#include "../support/MoxError.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = CatalogManager;

namespace {

// Room for the index descriptors of most tables before the list grows.
const size_t initialIndexRoom = 10;

}  // namespace

MoxErrorCode MoxTable::getTableId(TableId& id) const {
    MOX_TRACE_ENTRY();
    if (tableId < MOX_MIN_TABLE_ID || tableId > MOX_MAX_TABLE_ID) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return MOX_INTERNAL_FAIL;
    }
    id = tableId;
    return MOX_SUCCESS;
}

MoxErrorCode MoxTable::setTableId(TableId id) {
    MOX_TRACE_ENTRY();
    if (id < MOX_MIN_TABLE_ID || id > MOX_MAX_TABLE_ID) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    if (id != tableId) {
        indexes.clear();
        gotIndexes = false;
    }
    tableId = id;
    return MOX_SUCCESS;
}

MoxErrorCode MoxTable::getTableName(const char*& name) const {
    MOX_TRACE_ENTRY();
    if (tableName[0] == '\0') {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return MOX_INTERNAL_FAIL;
    }
    name = tableName;
    return MOX_SUCCESS;
}

MoxErrorCode MoxTable::setTableName(const char* name) {
    MOX_TRACE_ENTRY();
    // The full length, so that a name longer than 65535 characters is not
    // cut down to an acceptable one.
    return MoxCatalogName::store(tableName, MOX_MAX_TABLE_NAME_LENGTH, name, name != nullptr ? strlen(name) : 0,
                                 MOX_CAT_TABLE_NAME_TOO_LONG);
}

MoxErrorCode MoxTable::setTableName(const char* name, Uint16 length) {
    MOX_TRACE_ENTRY();
    return MoxCatalogName::store(tableName, MOX_MAX_TABLE_NAME_LENGTH, name, length, MOX_CAT_TABLE_NAME_TOO_LONG);
}

MoxErrorCode MoxTable::getNumColumns(Uint16& count) const {
    MOX_TRACE_ENTRY();
    if (columnDefs.empty()) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return MOX_INTERNAL_FAIL;
    }
    count = static_cast<Uint16>(columnDefs.size());
    return MOX_SUCCESS;
}

MoxErrorCode MoxTable::createColumns(Uint16 count) {
    MOX_TRACE_ENTRY();
    if (count == 0) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    columnDefs.assign(count, ColumnDefinition());
    forgetRecordLengths();
    return MOX_SUCCESS;
}

MoxErrorCode MoxTable::setColumnDefinition(Uint16 column, const char* name, MoxDataType type, Uint16 maxLength,
                                           bool nullable) {
    MOX_TRACE_ENTRY();
    if (!checkColumn(column)) {
        return MOX_PARAMETER_FAIL;
    }
    if (name == nullptr || (type != INTEGER && type != VARCHAR) || (type == VARCHAR && maxLength == 0)) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    MoxErrorCode rc = setColumnName(column, name);
    if (rc != MOX_SUCCESS) {
        MOX_TRACE_ERROR();
        return rc;
    }
    ColumnDefinition& definition = columnDefs[column];
    definition.dataType = type;
    definition.isNullable = nullable;
    definition.maxLength = type == INTEGER ? sizeof(Sint32) : maxLength;
    forgetRecordLengths();
    return MOX_SUCCESS;
}

MoxErrorCode MoxTable::setColumnName(Uint16 column, const char* name) {
    MOX_TRACE_ENTRY();
    return setColumnName(column, name, name != nullptr ? strlen(name) : 0);
}

MoxErrorCode MoxTable::setColumnName(Uint16 column, const char* name, Uint32 length) {
    MOX_TRACE_ENTRY();
    if (!checkColumn(column)) {
        return MOX_PARAMETER_FAIL;
    }
    return MoxCatalogName::store(columnDefs[column].name, MOX_MAX_COLUMN_NAME_LENGTH, name, length,
                                 MOX_CAT_COLUMN_NAME_TOO_LONG);
}

MoxErrorCode MoxTable::getColumnName(Uint16 column, const char*& name) const {
    MOX_TRACE_ENTRY();
    if (!checkColumn(column)) {
        return MOX_PARAMETER_FAIL;
    }
    name = columnDefs[column].name;
    return MOX_SUCCESS;
}

MoxErrorCode MoxTable::getColumnDatatype(Uint16 column, MoxDataType& type) const {
    MOX_TRACE_ENTRY();
    if (!checkColumn(column)) {
        return MOX_PARAMETER_FAIL;
    }
    type = columnDefs[column].dataType;
    return MOX_SUCCESS;
}

MoxErrorCode MoxTable::getIsNullable(Uint16 column, bool& nullable) const {
    MOX_TRACE_ENTRY();
    if (!checkColumn(column)) {
        return MOX_PARAMETER_FAIL;
    }
    nullable = columnDefs[column].isNullable;
    return MOX_SUCCESS;
}

MoxErrorCode MoxTable::getMaxColumnLength(Uint16 column, Uint16& length) const {
    MOX_TRACE_ENTRY();
    if (!checkColumn(column)) {
        return MOX_PARAMETER_FAIL;
    }
    const ColumnDefinition& definition = columnDefs[column];
    switch (definition.dataType) {
        case INTEGER:
            length = sizeof(Sint32);
            return MOX_SUCCESS;
        case VARCHAR:
            length = definition.maxLength;
            return MOX_SUCCESS;
        default:
            MOX_SET_ERROR(MOX_INTERNAL_FAIL);
            return MOX_INTERNAL_FAIL;
    }
}

MoxErrorCode MoxTable::getColumnNumber(const char* name, Uint16& column) const {
    MOX_TRACE_ENTRY();
    if (name == nullptr) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    if (columnDefs.empty()) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return MOX_INTERNAL_FAIL;
    }
    for (size_t i = columnDefs.size(); i-- > 0;) {
        if (strcmp(columnDefs[i].name, name) == 0) {
            column = static_cast<Uint16>(i);
            return MOX_SUCCESS;
        }
    }
    MOX_SET_ERROR_TOKEN2(MOX_CAT_COLUMN_NOT_IN_TABLE, name, tableName);
    return MOX_CAT_COLUMN_NOT_IN_TABLE;
}

Uint16 MoxTable::getMinRecordLength() const {
    if (minRecordLength == 0) {
        calculateMinMaxRecordLength();
    }
    return minRecordLength;
}

Uint16 MoxTable::getMaxRecordLength() const {
    if (maxRecordLength == 0) {
        calculateMinMaxRecordLength();
    }
    return maxRecordLength;
}

void MoxTable::calculateMinMaxRecordLength() const {
    MOX_TRACE_ENTRY();
    // A nullable column costs an indicator byte (and is only that when
    // NULL), a varchar value a 2-byte length before its text.
    Uint32 minimum = 0;
    Uint32 maximum = 0;
    for (const ColumnDefinition& definition : columnDefs) {
        Uint32 nullable = definition.isNullable ? 1 : 0;
        if (definition.dataType == INTEGER) {
            minimum += definition.isNullable ? 1 : sizeof(Sint32);
            maximum += nullable + sizeof(Sint32);
        } else if (definition.dataType == VARCHAR) {
            minimum += definition.isNullable ? 1 : sizeof(Uint16);
            maximum += nullable + sizeof(Uint16) + definition.maxLength;
        }
    }
    // Records are never longer than 65535 bytes, so a larger sum says the
    // same as 65535, where wrapping around would reject valid records.
    minRecordLength = MoxMin_t(Uint32, minimum, MOX_MAX_UINT16);
    maxRecordLength = MoxMin_t(Uint32, maximum, MOX_MAX_UINT16);
}

Uint16 MoxTable::getNumIndexes() {
    MOX_TRACE_ENTRY();
    if (!gotIndexes && retrieveIndexInformation() != MOX_SUCCESS) {
        MOX_TRACE_ERROR();
        return 0;
    }
    return static_cast<Uint16>(indexes.size());
}

void MoxTable::getIndex(Uint32 position, MoxIndex*& index) {
    MOX_TRACE_ENTRY();
    if (!gotIndexes) {
        THROW_RC(retrieveIndexInformation());
    }
    if (position >= indexes.size()) {
        THROW(MOX_PARAMETER_FAIL);
    }
    index = indexes[position].get();
}

void MoxTable::hasIndexOfType(Uint16 column, const MoxIndexType& type, IndexId& indexId) {
    MOX_TRACE_ENTRY();
    if (column >= columnDefs.size()) {
        THROW(MOX_PARAMETER_FAIL);
    }
    if (!gotIndexes) {
        THROW_RC(retrieveIndexInformation());
    }
    for (const std::unique_ptr<MoxIndex>& index : indexes) {
        if (index->isOnColumnOfType(column, type)) {
            THROW_RC(index->getIndexId(indexId));
            return;
        }
    }
    THROW(MOX_NOT_FOUND_WARN);
}

MoxErrorCode MoxTable::retrieveIndexInformation() {
    MOX_TRACE_ENTRY();
    if (gotIndexes || tableId < MOX_MIN_TABLE_ID || tableId > MOX_MAX_TABLE_ID) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return MOX_INTERNAL_FAIL;
    }
    IndexList found;
    found.reserve(initialIndexRoom);
    MoxErrorCode rc = readIndexDescriptors(found);
    if (rc != MOX_SUCCESS) {
        MOX_TRACE_ERROR();
        return rc;
    }
    indexes = std::move(found);
    gotIndexes = true;
    return MOX_SUCCESS;
}

MoxErrorCode MoxTable::readIndexDescriptors(IndexList& found) const {
    MOX_TRACE_ENTRY();
    typedef MoxCatalogManager CM;
    MoxTable* described = nullptr;
    std::unique_ptr<MoxTable> sysindexes;
    try {
        indexMgr = MoxIndexManager::getInstance();
        MoxCatalogManager* catalog = CM::getInstance();
        MoxErrorCode rc = catalog->getTableDescriptor(CM::SYSINDEXES_ID, described);
        sysindexes.reset(described);
        if (rc != MOX_SUCCESS) {
            MOX_TRACE_ERROR();
            return rc;
        }
        for (const TupleId& tid : MoxCatalogRow::rowsWithKey(*indexMgr, CM::IDX_SYSINDEXES_TABLEID_ID, tableId)) {
            MoxCatalogRow row(*sysindexes, tid);
            const IndexId id =
                static_cast<IndexId>(row.integer(CM::SysIndexes::INDEX_ID, MOX_MIN_INDEX_ID, MOX_MAX_INDEX_ID));
            MoxIndex* index = nullptr;
            if ((rc = catalog->getIndexDescriptor(id, index)) != MOX_SUCCESS) {
                MOX_TRACE_ERROR();
                return rc;
            }
            found.emplace_back(index);
        }
    } catch (const MoxException& exception) {
        exception.SET_ERROR();
        MOX_TRACE_ERROR();
        return exception.getErrorCode();
    }
    return MOX_SUCCESS;
}

bool MoxTable::checkColumn(Uint16 column) const {
    if (column >= columnDefs.size()) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return false;
    }
    return true;
}
