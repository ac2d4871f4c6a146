#ifndef MOX_INDEX_H
#define MOX_INDEX_H

#include "../include/Mox.h"
#include "MoxErrorCodes.h"

// The description of one index as the catalog knows it: id, type, name, the
// table and column it is built on, and whether its keys are unique.
//
// A plain value filled by the catalog manager and handed to its callers,
// who own it (or to the table descriptor that loaded it). Used by one
// thread. Every operation records a failure in the error object (component
// CatalogManager) and returns its code; a failed setter leaves the
// descriptor as it was.
class MoxIndex {
  public:
    // No column is set.
    static constexpr Uint16 noColumn = MOX_MAX_UINT16;

    MoxIndex() = default;

    // The id if it lies in 1..16384; else MOX_INTERNAL_FAIL.
    MoxErrorCode getIndexId(IndexId& id) const;
    // Ids outside 1..16384: MOX_PARAMETER_FAIL. Set by the catalog manager
    // when it stores or reads the index.
    MoxErrorCode setIndexId(IndexId id);

    // The stored name, valid while the descriptor lives and keeps its name;
    // an empty name: MOX_INTERNAL_FAIL.
    MoxErrorCode getIndexName(const char*& name) const;
    // A null name or length 0: MOX_PARAMETER_FAIL; more than 128 characters:
    // MOX_CAT_INDEX_NAME_TOO_LONG.
    MoxErrorCode setIndexName(const char* name);
    MoxErrorCode setIndexName(const char* name, Uint16 length);

    // UnknownIndexType (never set): MOX_PARAMETER_FAIL.
    MoxErrorCode getIndexType(MoxIndexType& type) const;
    // BTree or Hash; anything else: MOX_PARAMETER_FAIL.
    MoxErrorCode setIndexType(MoxIndexType type);

    // The table id if it lies in 1..32767; else MOX_INTERNAL_FAIL.
    MoxErrorCode getTableId(TableId& id) const;
    // Id 0: MOX_PARAMETER_FAIL.
    MoxErrorCode setTableId(TableId id);

    // noColumn (never set): MOX_INTERNAL_FAIL.
    MoxErrorCode getColumnNumber(Uint16& column) const;
    // Stored unchecked: the table decides which columns exist.
    MoxErrorCode setColumnNumber(Uint16 column);

    // Before setUnique was called: MOX_INTERNAL_FAIL.
    MoxErrorCode getUnique(bool& isUnique) const;
    MoxErrorCode setUnique(bool isUnique);

    // Whether the index is of that type on that column; records nothing.
    bool isOnColumnOfType(Uint16 column, MoxIndexType type) const {
        return columnNumber == column && indexType == type;
    }

  private:
    IndexId indexId = MOX_UNKNOWN_INDEX_ID;
    MoxIndexType indexType = UnknownIndexType;
    char indexName[MOX_MAX_INDEX_NAME_LENGTH + 1] = {};
    TableId tableId = MOX_UNKNOWN_TABLE_ID;
    Uint16 columnNumber = noColumn;
    bool unique = false;
    bool haveUnique = false;
};

#endif
