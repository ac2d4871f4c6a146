#ifndef MOX_TABLE_ROWS_H
#define MOX_TABLE_ROWS_H

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "MoxCatalog.h"
#include "MoxColumnValue.h"
#include "MoxRecordManager.h"

// Which rows of a table a command works on, by the value of one column.
struct MoxRowSelection {
    enum Kind { All, Equal, Range };
    Kind kind = All;
    Uint16 column = 0;
    // Equal: the value (NULL matches NULL). Range: the bounds, both
    // included; a NULL bound leaves that end open. NULL never lies in a range.
    MoxColumnValue low;
    MoxColumnValue high;

    bool matches(const MoxRow& row) const;
};

// The rows of one user table as a program sees them: typed values in, typed
// values out, every index of the table and its tuple count kept right. The
// table's descriptor and indexes come from the catalog; the indexes are
// opened in this process. NULL values have no entry in an index (a key
// cannot be NULL).
//
// Works within the process's current transaction and under its locks; the
// caller commits or rolls back (MoxCommandTransaction). Engine failures are thrown
// as MoxException or MoxRecordedFailure, and leave the transaction to be
// rolled back.
class MoxTableRows {
  public:
    // The table named so, or else its name in capitals (names that the mox
    // command creates are in capitals). MoxRefusal when the catalog holds
    // neither.
    explicit MoxTableRows(const std::string& name);

    // Table, column and index names as mox stores them: in capitals.
    static std::string canonical(const std::string& name);

    const MoxTable& getTable() const { return *table; }
    const std::string& getName() const { return name; }
    TableId getId() const { return tableId; }
    Uint16 columnCount() const { return static_cast<Uint16>(columns.size()); }
    const std::vector<std::string>& columnNames() const { return columns; }
    // MoxRefusal for a catalog table, whose rows change only with the
    // definitions they describe.
    void requireUserTable() const;
    // The column of that name (as given or in capitals); MoxRefusal for none.
    Uint16 columnNumber(const std::string& column) const;

    // A row of fields, one per column; MoxValueError for a field that does
    // not fit or a wrong number of fields.
    MoxRow parseRow(const std::vector<MoxCsvField>& fields) const;

    // Stores the row and its index entries; its TupleId.
    TupleId insert(const MoxRow& row);
    // The row at tid, share-locked (forUpdate: exclusively).
    MoxRow read(const TupleId& tid, bool forUpdate) const;
    // Removes the row at tid, whose values are current, with its index entries.
    void remove(const TupleId& tid, const MoxRow& current);
    // Replaces the row at tid (values current) by changed; the index entries
    // of changed columns follow.
    void update(const TupleId& tid, const MoxRow& current, const MoxRow& changed);
    // The rows the selection chooses, through an index on its column where
    // there is one (in key order), else by a scan of the table (in TupleId
    // order). forUpdate locks each row exclusively.
    std::vector<std::pair<TupleId, MoxRow>> select(const MoxRowSelection& selection, bool forUpdate) const;
    // Which way select goes, in words.
    std::string describePath(const MoxRowSelection& selection) const;
    // Adds delta to the tuple count in the catalog (never below 0).
    void addToTupleCount(long long delta) { addToTupleCount(tableId, delta); }
    static void addToTupleCount(TableId table, long long delta);

    // The table's B-tree indexes as the catalog describes them.
    struct Index {
        IndexId id;
        std::string name;
        Uint16 column;
        bool unique;
    };
    const std::vector<Index>& getIndexes() const { return indexes; }

  private:
    // The first index on the column that a selection can use; null for none.
    const Index* indexFor(const MoxRowSelection& selection) const;
    MoxDataType typeOf(Uint16 column) const;
    MoxRow decode(MoxRecord* record) const;

    std::string name;
    TableId tableId = 0;
    std::unique_ptr<MoxTable> table;
    std::vector<std::string> columns;
    std::vector<Index> indexes;
    MoxRecordManager* records;
    MoxIndexManager* indexManager;
};

#endif
