#ifndef MOX_TABLE_H
#define MOX_TABLE_H

#include <memory>
#include <vector>

#include "MoxIndex.h"
#include "../include/Mox.h"
#include "MoxErrorCodes.h"

class MoxIndexManager;

// The in-memory description of one table: id, name, tuple count, column
// definitions, the minimum and maximum length of its records (cached) and,
// loaded from the catalog on first use, the descriptors of its indexes.
//
// Built by the catalog manager (or by a caller that defines a new table) and
// owned by whoever asked for it; the record tuples read it through a const
// pointer. Used by one thread. Operations that return a MoxErrorCode record
// a failure in the error object (component CatalogManager) and return its
// code; a rejected name or column definition leaves the descriptor as it
// was. getIndex and hasIndexOfType throw instead.
class MoxTable {
  public:
    struct ColumnDefinition {
        char name[MOX_MAX_COLUMN_NAME_LENGTH + 1] = {};
        MoxDataType dataType = UnknownDataType;
        bool isNullable = false;
        // Maximum data length in bytes; 4 for INTEGER.
        Uint16 maxLength = 0;
    };

    // Id 0, empty name, count 0, no columns, no indexes.
    MoxTable() = default;
    // Owns its columns and index descriptors; copies would share nothing
    // useful, so there are none.
    MoxTable(const MoxTable&) = delete;
    MoxTable& operator=(const MoxTable&) = delete;

    // The id if it lies in 1..32767; else MOX_INTERNAL_FAIL.
    MoxErrorCode getTableId(TableId& id) const;
    // Whether the descriptor carries that id; records nothing (a new one
    // carries none).
    bool hasTableId(TableId id) const { return tableId == id; }
    // Ids outside 1..32767: MOX_PARAMETER_FAIL. Set by the catalog manager.
    // A new id drops index descriptors loaded for the old one.
    MoxErrorCode setTableId(TableId id);

    // The stored name, valid while the table keeps it; empty:
    // MOX_INTERNAL_FAIL.
    MoxErrorCode getTableName(const char*& name) const;
    // A null name or length 0: MOX_PARAMETER_FAIL; more than 128 characters:
    // MOX_CAT_TABLE_NAME_TOO_LONG with the whole name and 128.
    MoxErrorCode setTableName(const char* name);
    MoxErrorCode setTableName(const char* name, Uint16 length);

    // The count as the catalog stores it.
    Uint32 getTupleCount() const { return tupleCount; }
    void setTupleCount(Uint32 count) { tupleCount = count; }

    // No columns: MOX_INTERNAL_FAIL.
    MoxErrorCode getNumColumns(Uint16& count) const;
    // Replaces all columns by `count` undefined ones (empty name, unknown
    // type); 0: MOX_PARAMETER_FAIL.
    MoxErrorCode createColumns(Uint16 count);
    // Defines a column. The column must exist, the name be non-null and the
    // type INTEGER or VARCHAR, else MOX_PARAMETER_FAIL. INTEGER takes the
    // length 4 whatever maxLength says; VARCHAR needs a maxLength above 0
    // (else MOX_PARAMETER_FAIL). Name failures as setColumnName.
    MoxErrorCode setColumnDefinition(Uint16 column, const char* name, MoxDataType type, Uint16 maxLength,
                                     bool nullable);
    // A bad column, a null name or length 0: MOX_PARAMETER_FAIL; more than
    // 128 characters: MOX_CAT_COLUMN_NAME_TOO_LONG with the name and 128.
    MoxErrorCode setColumnName(Uint16 column, const char* name);
    MoxErrorCode setColumnName(Uint16 column, const char* name, Uint32 length);

    // Column getters: a column number not below the column count is
    // MOX_PARAMETER_FAIL. Names stay valid while the column keeps its name.
    MoxErrorCode getColumnName(Uint16 column, const char*& name) const;
    MoxErrorCode getColumnDatatype(Uint16 column, MoxDataType& type) const;
    MoxErrorCode getIsNullable(Uint16 column, bool& nullable) const;
    // 4 for INTEGER, the maximum length for VARCHAR; an undefined column:
    // MOX_INTERNAL_FAIL.
    MoxErrorCode getMaxColumnLength(Uint16 column, Uint16& length) const;
    // The column whose name equals `name` exactly (the last one if names
    // repeat). None: MOX_CAT_COLUMN_NOT_IN_TABLE; null name:
    // MOX_PARAMETER_FAIL; no columns: MOX_INTERNAL_FAIL.
    MoxErrorCode getColumnNumber(const char* name, Uint16& column) const;

    // The shortest and longest record of the table in the tuple layout,
    // computed on first use after a change of the columns. A sum above
    // 65535 is given as 65535.
    Uint16 getMinRecordLength() const;
    Uint16 getMaxRecordLength() const;
    void calculateMinMaxRecordLength() const;

    // The index operations load the descriptors of the table's indexes from
    // the catalog on first use.
    // The number of indexes; 0 with the error recorded when loading fails.
    Uint16 getNumIndexes();
    // The descriptor at `position` in load order, owned by the table. A
    // position not below the number of indexes throws MOX_PARAMETER_FAIL.
    void getIndex(Uint32 position, MoxIndex*& index);
    // The id of the first index (in load order) of that type on that column.
    // A column number not below the column count throws MOX_PARAMETER_FAIL,
    // no such index MOX_NOT_FOUND_WARN.
    void hasIndexOfType(Uint16 column, const MoxIndexType& type, IndexId& indexId);
    // Loads the index descriptors once, through the catalog (the system
    // started, the catalog set up). Without an id or with the information
    // already loaded: MOX_INTERNAL_FAIL. On failure nothing is kept and a
    // later call tries again.
    MoxErrorCode retrieveIndexInformation();

  private:
    // Tests place index descriptors as the catalog would load them.
    friend class MoxTableTest;

    typedef std::vector<std::unique_ptr<MoxIndex>> IndexList;

    // The one place that reads the catalog: the descriptors of the table's
    // indexes in the order of catalog index 3 over the table id.
    MoxErrorCode readIndexDescriptors(IndexList& found) const;
    // Whether column names an existing column; records MOX_PARAMETER_FAIL if not.
    bool checkColumn(Uint16 column) const;
    void forgetRecordLengths() { minRecordLength = maxRecordLength = 0; }

    TableId tableId = MOX_UNKNOWN_TABLE_ID;
    char tableName[MOX_MAX_TABLE_NAME_LENGTH + 1] = {};
    Uint32 tupleCount = 0;
    std::vector<ColumnDefinition> columnDefs;
    // 0 until computed.
    mutable Uint16 minRecordLength = 0;
    mutable Uint16 maxRecordLength = 0;
    IndexList indexes;
    bool gotIndexes = false;
    // The process's index manager, taken when the indexes are loaded rather
    // than at construction: a descriptor is a plain value that programs
    // build without a started system and may keep after a stop, which
    // deletes the manager.
    mutable MoxIndexManager* indexMgr = nullptr;
};

#endif
