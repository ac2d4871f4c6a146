#include "MoxCatalogRow.h"

#include <cstring>
#include <memory>

#include "../index/MoxIndexManager.h"
#include "../record/MoxRecordManager.h"
#include "../support/MoxError.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = CatalogManager;

std::vector<TupleId> MoxCatalogRow::rowsWithKey(MoxIndexManager& indexes, IndexId catalogIndex, Sint32 key) {
    MOX_TRACE_ENTRY();
    MoxIndexKey bound(key);
    MoxIndexIterator* created = nullptr;
    indexes.findRange(catalogIndex, &bound, &bound, created);
    std::unique_ptr<MoxIndexIterator> iterator(created);
    // The iterator reports a failed step only in the error object: cleared
    // first, it tells a failure from the end of the range.
    MoxError::getErrorObject()->setError(componentId, MOX_SUCCESS);
    std::vector<TupleId> rows;
    TupleId tid;
    while (iterator->hasNext()) {
        THROW_RC(iterator->getNextTupleId(tid));
        rows.push_back(tid);
    }
    if (MoxGetErrorCode() < MOX_SUCCESS) {
        THROW(MoxGetErrorCode());
    }
    return rows;
}

MoxCatalogRow::MoxCatalogRow(const MoxTable& table, const TupleId& tid, bool forUpdate) : table(table), tuple(&table) {
    MOX_TRACE_ENTRY();
    MoxRecord* record = nullptr;
    MoxRecordManager* records = MoxRecordManager::getInstance();
    if (forUpdate) {
        records->getForUpdate(tableId(), tid, record);
    } else {
        records->get(tableId(), tid, record);
    }
    interpret(record);
}

MoxCatalogRow::MoxCatalogRow(const MoxTable& table, MoxRecord* record) : table(table), tuple(&table) {
    MOX_TRACE_ENTRY();
    interpret(record);
}

void MoxCatalogRow::interpret(MoxRecord* record) {
    if (tuple.initialize(record, &table) != MOX_SUCCESS) {
        THROW(MOX_CAT_INCONSISTENT_CATALOG);
    }
}

MoxCatalogRow::MoxCatalogRow(const MoxTable& table) : table(table), tuple(&table) {
    MOX_TRACE_ENTRY();
}

TableId MoxCatalogRow::tableId() const {
    TableId id = MOX_UNKNOWN_TABLE_ID;
    THROW_RC(table.getTableId(id));
    return id;
}

Sint32 MoxCatalogRow::integer(Uint16 column, Sint32 lowest, Sint32 highest) {
    MOX_TRACE_ENTRY();
    Sint32 value = 0;
    bool isNull = true;
    if (tuple.getIntValue(column, value, isNull) != MOX_SUCCESS || isNull || value < lowest || value > highest) {
        THROW(MOX_CAT_INCONSISTENT_CATALOG);
    }
    return value;
}

std::string MoxCatalogRow::text(Uint16 column, size_t shortest, size_t longest) {
    MOX_TRACE_ENTRY();
    const char* value = nullptr;
    Uint16 length = 0;
    // Catalog texts are names, words and timestamps: never with a NUL.
    if (tuple.getVarchar(column, value, length) != MOX_SUCCESS || value == nullptr || length < shortest ||
        length > longest || memchr(value, '\0', length) != nullptr) {
        THROW(MOX_CAT_INCONSISTENT_CATALOG);
    }
    return std::string(value, length);
}

size_t MoxCatalogRow::word(Uint16 column, std::initializer_list<const char*> words) {
    MOX_TRACE_ENTRY();
    const std::string value = text(column, 0, MOX_MAX_UINT16);
    size_t position = 0;
    for (const char* candidate : words) {
        if (value == candidate) {
            return position;
        }
        ++position;
    }
    THROW(MOX_CAT_INCONSISTENT_CATALOG);
}

void MoxCatalogRow::setInteger(Uint16 column, Sint32 value) {
    MOX_TRACE_ENTRY();
    THROW_RC(tuple.setInt(column, &value));
}

void MoxCatalogRow::setText(Uint16 column, const std::string& value) {
    MOX_TRACE_ENTRY();
    if (value.size() > MOX_MAX_UINT16) {
        THROW_wARGS1(MOX_PARAMETER_FAIL, column);
    }
    THROW_RC(tuple.setVarchar(column, value.data(), static_cast<Uint16>(value.size())));
}

const MoxRecord& MoxCatalogRow::record() const {
    const MoxRecord* built = tuple.getRecord();
    if (built == nullptr) {
        THROW(MOX_INTERNAL_FAIL);
    }
    return *built;
}
