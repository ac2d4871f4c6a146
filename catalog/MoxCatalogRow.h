#ifndef MOX_CATALOG_ROW_H
#define MOX_CATALOG_ROW_H

#include <initializer_list>
#include <string>
#include <vector>

#include "MoxTable.h"
#include "../record/TupleId.h"
#include "../runtime/MoxRecordTuple.h"

// One row of a catalog table, read from its record or built for a new one,
// through a record tuple. Every value read from the catalog passes a check:
// a record that does not fit its table, and a value that is NULL, outside
// its range or not one of its words, are MOX_CAT_INCONSISTENT_CATALOG, so
// that a damaged catalog never turns into a wrong descriptor.
//
// The table descriptor must outlive the row. Used by one thread within the
// caller's transaction. Every failure is thrown as MoxException.
class MoxIndexManager;

class MoxCatalogRow {
  public:
    // The TupleIds of the rows that a catalog index holds under key, in
    // index order.
    static std::vector<TupleId> rowsWithKey(MoxIndexManager& indexes, IndexId catalogIndex, Sint32 key);

    // Reads the record at tid of the catalog table that `table` describes,
    // with a shared record lock (forUpdate: an exclusive one).
    MoxCatalogRow(const MoxTable& table, const TupleId& tid, bool forUpdate = false);
    // Interprets a record read from the catalog table; takes it.
    MoxCatalogRow(const MoxTable& table, MoxRecord* record);
    // A new row of the table, built column by column from the first.
    explicit MoxCatalogRow(const MoxTable& table);
    MoxCatalogRow(const MoxCatalogRow&) = delete;
    MoxCatalogRow& operator=(const MoxCatalogRow&) = delete;

    // An INTEGER value from lowest to highest.
    Sint32 integer(Uint16 column, Sint32 lowest, Sint32 highest);
    // A VARCHAR value of shortest to longest characters, none of them NUL.
    std::string text(Uint16 column, size_t shortest, size_t longest);
    // The position in words of the column's text, which must equal one of
    // them exactly.
    size_t word(Uint16 column, std::initializer_list<const char*> words);

    // Appends the next column or overwrites a set one.
    void setInteger(Uint16 column, Sint32 value);
    void setText(Uint16 column, const std::string& value);

    // The row's bytes, once every column is set; owned by the row.
    const MoxRecord& record() const;

  private:
    // The table id that `table` carries.
    TableId tableId() const;
    // Takes the record as the row; one that does not fit the table is
    // MOX_CAT_INCONSISTENT_CATALOG.
    void interpret(MoxRecord* record);

    const MoxTable& table;
    MoxRecordTuple tuple;
};

#endif
