#ifndef MOX_CATALOG_MANAGER_H
#define MOX_CATALOG_MANAGER_H

#include <array>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "MoxIndex.h"
#include "MoxTable.h"
#include "../include/Mox.h"
#include "../record/TupleId.h"
#include "MoxErrorCodes.h"

class MoxCatalogRow;
class MoxIndexManager;
class MoxRecordManager;

// The catalog: every table, column and index of the database described in
// three catalog tables (SYSTABLES, SYSCOLUMNS, SYSINDEXES: table ids 1-3)
// and indexed by four catalog B-trees on their id columns (index ids 1-4).
// Creates the catalog of a new database, builds table and index
// descriptors, looks names up, adds and removes definitions, hands out new
// table and index ids and keeps each table's tuple count.
//
// One per process (getInstance; the system must be started and the catalog
// set up), used by one thread. Catalog changes are made within the caller's
// transaction and under its locks; only setupCatalog ends a transaction. A
// table's or index's own segment is the caller's to create or drop.
//
// Operations return a MoxErrorCode and leave a failure in the error object
// (component CatalogManager), catching the exceptions of the record and
// index managers, with these exceptions: addTable and addIndex let the
// index manager's exceptions (id search, key inserts) through, and
// setupCatalog lets MOX_CAT_INCOMPLETE_CATALOG_FOUND and the failures of
// creating the catalog indexes through. Descriptors handed out are owned by
// the caller: a null pointer receives a new descriptor, a non-null one is
// filled.
class MoxCatalogManager {
  public:
    static constexpr TableId SYSTABLES_ID = 1;
    static constexpr TableId SYSCOLUMNS_ID = 2;
    static constexpr TableId SYSINDEXES_ID = 3;
    static constexpr TableId MAX_CATALOG_TABLEID = 3;
    static constexpr IndexId MAX_CATALOG_INDEXID = 4;
    // The catalog indexes, each on an INTEGER column.
    static constexpr IndexId IDX_SYSTABLES_TABLEID_ID = 1;   // SYSTABLES.TABLE_ID, unique
    static constexpr IndexId IDX_SYSCOLUMNS_TABLEID_ID = 2;  // SYSCOLUMNS.TABLE_ID
    static constexpr IndexId IDX_SYSINDEXES_TABLEID_ID = 3;  // SYSINDEXES.TABLE_ID
    static constexpr IndexId IDX_SYSINDEXES_INDEXID_ID = 4;  // SYSINDEXES.INDEX_ID, unique

    // The column numbers of the catalog tables; no column is nullable.
    struct SysTables {
        enum Column : Uint16 { TABLE_NAME, TABLE_ID, COLUMN_COUNT, CREATE_TIME, TUPLE_COUNT };
    };
    struct SysColumns {
        enum Column : Uint16 { TABLE_ID, COLUMN_NAME, COLUMN_ID, DATA_TYPE, MAX_LENGTH, NULLABLE };
    };
    struct SysIndexes {
        enum Column : Uint16 { TABLE_ID, INDEX_NAME, INDEX_ID, INDEX_TYPE, COLUMN_ID, IS_UNIQUE, CREATE_TIME };
    };

    // One catalog index, as the catalog describes it in itself.
    struct IndexDefinition {
        IndexId indexId;
        char indexName[MOX_MAX_INDEX_NAME_LENGTH + 1];
        TableId tableId;
        Uint16 columnId;
        MoxDataType dataType;
        bool unique;
    };
    static const IndexDefinition indexDefs[MAX_CATALOG_INDEXID];

    // The process's catalog manager, created with the catalog indexes open;
    // throws when they cannot be opened (no catalog, system not started).
    static MoxCatalogManager* getInstance();
    // Whether the process has one, so that the stop deletes only one that exists.
    static bool hasInstance() { return instance != nullptr; }
    // Takes the index and record managers; with startTx opens the catalog
    // indexes (startTransaction).
    explicit MoxCatalogManager(bool startTx);
    ~MoxCatalogManager();
    MoxCatalogManager(const MoxCatalogManager&) = delete;
    MoxCatalogManager& operator=(const MoxCatalogManager&) = delete;

    // Opens the four catalog indexes in this process. Throws.
    void startTransaction();

    // --- The catalog of a database ---

    // Runs setupCatalog on a manager of its own, which opens nothing first.
    static MoxErrorCode initializeCatalog();
    // Makes sure the database has its catalog, in a transaction of its own,
    // which it ends through MoxSystem: a new database gets the three
    // catalog tables and four catalog indexes, described in themselves, and
    // is committed; a complete catalog is left as it is. Any failure rolls
    // the transaction back first. A catalog with some of its tables or
    // indexes missing throws MOX_CAT_INCOMPLETE_CATALOG_FOUND with the
    // database path.
    MoxErrorCode setupCatalog();

    // --- Names and descriptors ---

    // The id of the table with exactly that name (catalog tables by their
    // own names); MOX_NOT_FOUND_WARN for none, MOX_PARAMETER_FAIL for an
    // empty name.
    MoxErrorCode getTableId(const std::string& name, TableId& tableId);
    // The same for indexes.
    MoxErrorCode getIndexId(const std::string& name, IndexId& indexId);
    // The table's descriptor with its name, columns and tuple count (the
    // catalog tables' fixed ones without a count). MOX_NOT_FOUND_WARN for a
    // table the catalog does not hold; MOX_CAT_INCONSISTENT_CATALOG for a
    // row that breaks the catalog's rules. On failure a descriptor this call
    // allocated is freed and the pointer cleared.
    MoxErrorCode getTableDescriptor(TableId tableId, MoxTable*& table);
    // The index's descriptor; failures as getTableDescriptor.
    MoxErrorCode getIndexDescriptor(IndexId indexId, MoxIndex*& index);
    // The definition of a catalog index (1 to 4, else MOX_PARAMETER_FAIL).
    // The name stays valid for the life of the process.
    MoxErrorCode getSystemIndexParameters(IndexId indexId, const char*& name, TableId& tableId, Uint16& column,
                                          MoxDataType& dataType, bool& unique);

    // --- Changing the catalog ---

    // Adds a table's definition (its name and columns, which must all be
    // defined) with a new id, returned and stored in the descriptor. The
    // catalog tables are refused with MOX_CAT_MODIFYING_CATALOG_TABLES_NOT_ALLOWED;
    // no id left is MOX_CAT_TOO_MANY_TABLES.
    MoxErrorCode addTable(MoxTable& table, TableId& tableId);
    // The same; protectCatalog false lets the bootstrap describe the
    // catalog tables themselves.
    MoxErrorCode addTable(MoxTable& table, bool protectCatalog, TableId& tableId);
    // Removes a table's SYSTABLES and SYSCOLUMNS rows; its indexes' rows
    // stay for the caller to remove. Catalog tables: MOX_CAT_MODIFYING_CATALOG_TABLES_NOT_ALLOWED.
    MoxErrorCode removeTable(TableId tableId);
    // Adds an index's definition (name, type, table, column and uniqueness
    // set) with a new id, returned and stored in the descriptor. An index on
    // a catalog table is refused with MOX_CAT_MODIFYING_CATALOG_TABLES_NOT_ALLOWED;
    // one on a VARCHAR column longer than an index key
    // (MOX_INDEX_VARCHAR_LENGTH) with MOX_CAT_DATATYPE_MISMATCH naming the
    // column and both lengths; no id left is MOX_CAT_TOO_MANY_INDEXES.
    MoxErrorCode addIndex(MoxIndex& index, IndexId& indexId);
    MoxErrorCode addIndex(MoxIndex& index, bool protectCatalog, IndexId& indexId);
    // Removes an index's SYSINDEXES row. Catalog indexes: MOX_CAT_MODIFYING_CATALOG_TABLES_NOT_ALLOWED.
    MoxErrorCode removeIndex(IndexId indexId);

    // --- Tuple counts ---

    // The count that the catalog stores for the table.
    MoxErrorCode getTupleCount(TableId tableId, Uint32& count);
    // Stores count (not negative, else MOX_INTERNAL_FAIL) as the table's
    // tuple count.
    MoxErrorCode updateTupleCount(TableId tableId, Sint32 count);
    // The number of records the table holds, counted by a scan.
    MoxErrorCode getTupleCountByCounting(TableId tableId, Uint32& count);
    // Reads the SYSTABLES descriptor; computes no statistics.
    MoxErrorCode runstats();

    // Characters of a timestamp, without the terminator.
    static constexpr int timestampLength = 26;
    // The local time as "2024-01-31 23:59:59.000123" into buffer, which has
    // room for timestampLength characters and a terminator;
    // MOX_PARAMETER_FAIL for none, MOX_INTERNAL_FAIL when the clock cannot
    // be read.
    static MoxErrorCode getCurrentTimestamp(char* buffer);

  private:
    // The fixed descriptor of a catalog table.
    static void describeCatalogTable(TableId tableId, MoxTable& table);
    // The same, built once per manager.
    const MoxTable& catalogTable(TableId tableId) const { return catalogTables[tableId - 1]; }
    // Runs body; a MoxException it throws is copied into the error object
    // and its code returned. MOX_SUCCESS when body runs through.
    static MoxErrorCode recorded(const std::function<void()>& body);
    // A table's or index's descriptor from its catalog rows. Both throw.
    void readTable(TableId tableId, MoxTable& table);
    void readIndex(IndexId indexId, MoxIndex& index);
    // The row at the key of a unique catalog index; MOX_NOT_FOUND_WARN for none.
    TupleId findRow(IndexId catalogIndex, Sint32 key);
    // Scans a catalog table until found returns true for a row; false when
    // none does.
    bool scanFor(TableId catalogTable, const std::function<bool(MoxCatalogRow&)>& found);

    // --- The bootstrap (MoxCatalogManager_Setup.cpp) ---
    // Creates the catalog's tables and indexes and describes a new catalog
    // in itself. Returns the failures that end the bootstrap; throws those
    // that setupCatalog lets through.
    MoxErrorCode createCatalog();
    // Creates the catalog tables, then the catalog indexes, and tells
    // whether the catalog is new. Each must have been missing (a new
    // catalog) or present (an existing one) as the first table was, else
    // MOX_CAT_INCOMPLETE_CATALOG_FOUND is thrown. A table that cannot be
    // created for another reason is recorded and returned; an index, thrown.
    MoxErrorCode createCatalogSegments(bool& isNew);
    // The catalog's rows about itself and the tuple counts of its tables.
    MoxErrorCode describeCatalog();

    // --- Changing (MoxCatalogManager_Change.cpp) ---
    // Check a new definition before anything is written.
    MoxErrorCode checkNewTable(const MoxTable& table, bool protectCatalog);
    MoxErrorCode checkNewIndex(const MoxIndex& index, bool protectCatalog);
    // A free id for a unique catalog index: one above its largest key, or
    // else the first from `first` on that it does not hold; 0 when none up
    // to highest is left. An empty index gives whenEmpty, or for whenEmpty 0
    // throws its MOX_NOT_FOUND_WARN. Throws the index manager's exceptions.
    Uint16 newId(IndexId catalogIndex, Sint32 first, Sint32 highest, Uint16 whenEmpty);
    // Inserts a row into a catalog table; a failure is recorded and returned.
    MoxErrorCode insertRow(TableId catalogTable, const std::function<void(MoxCatalogRow&)>& build, TupleId& tid);
    // Removes the row at tid of a catalog table and, for each (catalog
    // index, key), the index entry (key, tid). Throws.
    void removeRow(TableId catalogTable, const TupleId& tid, std::initializer_list<std::pair<IndexId, Sint32>> entries);

    static MoxCatalogManager* instance;

    MoxIndexManager* indexMgr;
    MoxRecordManager* recordMgr;
    // SYSTABLES, SYSCOLUMNS and SYSINDEXES.
    std::array<MoxTable, MAX_CATALOG_TABLEID> catalogTables;
};

#endif
