#include "MoxIndex.h"

#include <cstring>

#include "MoxCatalogName.h"
#include "../support/MoxError.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = CatalogManager;

MoxErrorCode MoxIndex::getIndexId(IndexId& id) const {
    MOX_TRACE_ENTRY();
    if (indexId < MOX_MIN_INDEX_ID || indexId > MOX_MAX_INDEX_ID) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return MOX_INTERNAL_FAIL;
    }
    id = indexId;
    return MOX_SUCCESS;
}

MoxErrorCode MoxIndex::setIndexId(IndexId id) {
    MOX_TRACE_ENTRY();
    if (id < MOX_MIN_INDEX_ID || id > MOX_MAX_INDEX_ID) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    indexId = id;
    return MOX_SUCCESS;
}

MoxErrorCode MoxIndex::getIndexName(const char*& name) const {
    MOX_TRACE_ENTRY();
    if (indexName[0] == '\0') {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return MOX_INTERNAL_FAIL;
    }
    name = indexName;
    return MOX_SUCCESS;
}

MoxErrorCode MoxIndex::setIndexName(const char* name) {
    MOX_TRACE_ENTRY();
    // The full length, so that a name longer than 65535 characters is not
    // cut down to an acceptable one.
    return MoxCatalogName::store(indexName, MOX_MAX_INDEX_NAME_LENGTH, name, name != nullptr ? strlen(name) : 0,
                                 MOX_CAT_INDEX_NAME_TOO_LONG);
}

MoxErrorCode MoxIndex::setIndexName(const char* name, Uint16 length) {
    MOX_TRACE_ENTRY();
    return MoxCatalogName::store(indexName, MOX_MAX_INDEX_NAME_LENGTH, name, length, MOX_CAT_INDEX_NAME_TOO_LONG);
}

MoxErrorCode MoxIndex::getIndexType(MoxIndexType& type) const {
    MOX_TRACE_ENTRY();
    if (indexType == UnknownIndexType) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    type = indexType;
    return MOX_SUCCESS;
}

MoxErrorCode MoxIndex::setIndexType(MoxIndexType type) {
    MOX_TRACE_ENTRY();
    if (type != BTree && type != Hash) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    indexType = type;
    return MOX_SUCCESS;
}

MoxErrorCode MoxIndex::getTableId(TableId& id) const {
    MOX_TRACE_ENTRY();
    if (tableId < MOX_MIN_TABLE_ID || tableId > MOX_MAX_TABLE_ID) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return MOX_INTERNAL_FAIL;
    }
    id = tableId;
    return MOX_SUCCESS;
}

MoxErrorCode MoxIndex::setTableId(TableId id) {
    MOX_TRACE_ENTRY();
    if (id == MOX_UNKNOWN_TABLE_ID) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    tableId = id;
    return MOX_SUCCESS;
}

MoxErrorCode MoxIndex::getColumnNumber(Uint16& column) const {
    MOX_TRACE_ENTRY();
    if (columnNumber == noColumn) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return MOX_INTERNAL_FAIL;
    }
    column = columnNumber;
    return MOX_SUCCESS;
}

MoxErrorCode MoxIndex::setColumnNumber(Uint16 column) {
    MOX_TRACE_ENTRY();
    columnNumber = column;
    return MOX_SUCCESS;
}

MoxErrorCode MoxIndex::getUnique(bool& isUnique) const {
    MOX_TRACE_ENTRY();
    if (!haveUnique) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return MOX_INTERNAL_FAIL;
    }
    isUnique = unique;
    return MOX_SUCCESS;
}

MoxErrorCode MoxIndex::setUnique(bool isUnique) {
    MOX_TRACE_ENTRY();
    unique = isUnique;
    haveUnique = true;
    return MOX_SUCCESS;
}
