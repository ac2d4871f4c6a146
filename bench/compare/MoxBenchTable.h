#ifndef COMPARE_MOX_BENCH_TABLE_H
#define COMPARE_MOX_BENCH_TABLE_H

#include <sys/types.h>

#include <cstdint>
#include <string_view>

#include "MoxCatalog.h"
#include "MoxIndexManager.h"
#include "MoxRecordManager.h"
#include "MoxTuple.h"

// One table of the comparison in Mox, and the one place that says how its
// rows are stored and found: a catalog table of two columns whose key column
// has a unique B-tree index, rows built as record tuples, and point reads
// that go through the index to the record.
//
// Used by one process within its current transaction; every call throws
// MoxException on failure. A process forked from the creator uses the
// descriptors it inherited and opens the index on its first call.
class MoxBenchTable {
  public:
    enum class Key { Integer, Varchar };

    explicit MoxBenchTable(Key key) : key(key) {}
    MoxBenchTable(const MoxBenchTable&) = delete;
    MoxBenchTable& operator=(const MoxBenchTable&) = delete;

    // Defines table number `number` with its index in the catalog and
    // creates both, in the caller's transaction.
    void create(int number);
    // (KEY INTEGER, PAYLOAD VARCHAR) rows of an Integer table.
    void insert(int32_t rowKey, std::string_view payload);
    // (ID INTEGER, NAME VARCHAR) rows of a Varchar table, keyed by name.
    void insert(std::string_view name, int32_t id);
    bool find(int32_t rowKey);
    bool find(std::string_view name);
    long scan();
    // A shared lock on the whole table, as a reader of many rows takes it:
    // a record lock for each of them would not fit the lock list.
    void lockShared();

  private:
    // Inserts the built row and its index entry.
    void store(MoxRecordTuple& row, const MoxIndexKey& indexKey);
    // The row that the index gives for indexKey, the caller's to delete;
    // null when the index has no such key.
    MoxRecord* read(const MoxIndexKey& indexKey);
    // The index, opened once in each process that uses it.
    void openIndexInThisProcess();

    Key key;
    MoxTable table;
    TableId tableId = 0;
    IndexId indexId = 0;
    pid_t indexOpenIn = 0;
};

#endif
