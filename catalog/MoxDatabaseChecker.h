#ifndef MOX_DATABASE_CHECKER_H
#define MOX_DATABASE_CHECKER_H

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "MoxTable.h"
#include "../record/TupleId.h"
#include "../support/MoxCheckProblem.h"

class MoxCatalogManager;
class MoxIndex;

// The read-only integrity check of a database, or of one table: every
// table's pages (MoxTableChecker), every index's tree (MoxIndexTreeChecker),
// every index entry against its record's key and every record against each
// index of its table, every record against its table's columns, and the
// catalog rows against each other and against the descriptors the catalog
// builds from them. TUPLE_COUNT is only checked to be a count: the engine
// leaves keeping it in step with the records to the programs that change
// them.
//
// Needs a started system and the catalog; used by one thread. Pages are read
// without locks; the catalog's descriptors are read through the catalog
// manager, whose record reads take shared record locks in the caller's
// transaction (the caller ends it afterwards). Damaged bytes become
// problems, never crashes or reads outside a page; MoxException is thrown
// only for failures that are not damage (an unknown table name: the
// catalog's code).
class MoxDatabaseChecker {
  public:
    MoxDatabaseChecker();

    // The catalog tables and indexes, every table the catalog names with
    // its indexes, and the catalog's rows.
    MoxCheckProblems checkDatabase();
    // That table and its indexes.
    MoxCheckProblems checkTable(const std::string& tableName);

  private:
    // A record's bytes by its TupleId (page, slot), as a scan returns it.
    typedef std::map<std::pair<PageId, SlotId>, std::string> Records;
    // A column value as an index holds it; none for NULL.
    typedef std::optional<std::string> KeyText;

    // The table's pages, its records against its columns, and each of its
    // indexes; the records are left in `records`.
    void checkTableAndIndexes(TableId tableId, const std::string& name, Records& records);
    // The table's records against its columns.
    void checkRows(const std::string& name, MoxTable& table, const Records& records);
    void checkIndex(const std::string& tableName, MoxTable& table, MoxIndex& index, const Records& records);
    // The key of a record for the column; throws when the record does not
    // fit the table.
    static KeyText keyOf(MoxTable& table, Uint16 column, const std::string& bytes);
    // The catalog rows against each other and the descriptors.
    void checkCatalogRows(const Records& tables, const Records& columns, const Records& indexes);

    std::unique_ptr<MoxTable> descriptor(TableId tableId, const std::string& name);
    void problem(const std::string& place, const std::string& text) { found.push_back({place, text}); }
    static std::string recordPlace(const std::string& tableName, const std::pair<PageId, SlotId>& tid);

    MoxCatalogManager* catalog;
    MoxCheckProblems found;
};

#endif
