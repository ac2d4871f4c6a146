#ifndef COMPARE_MOX_BENCH_TABLE_H
#define COMPARE_MOX_BENCH_TABLE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "MoxRecordManager.h"

// One table of the comparison in Mox, and the one place that says how its
// rows are stored and found. Today a row goes to the record manager in the
// table row layout, and a map in this process's memory from key to TupleId
// stands in for the unique key index that is still to come: point reads go
// by TupleId, and only the keys this process inserted can be found. Moving
// to the catalog, record tuples and a unique index changes this class alone.
//
// Used by one process within its current transaction; every call throws
// MoxException on failure.
class MoxBenchTable {
  public:
    explicit MoxBenchTable(TableId table) : table(table) {}
    ~MoxBenchTable() { delete readBuffer; }
    MoxBenchTable(const MoxBenchTable&) = delete;
    MoxBenchTable& operator=(const MoxBenchTable&) = delete;

    void create();
    void insert(int32_t key, std::string_view payload);
    void insert(std::string_view name, int32_t id);
    bool find(int32_t key);
    bool find(std::string_view name);
    long scan();
    // A shared lock on the whole table, as a reader of many rows takes it:
    // a record lock for each of them would not fit the lock list.
    void lockShared();

  private:
    TupleId store(const std::string& row);
    // Reads the row at tid into readBuffer.
    void read(const TupleId& tid);

    TableId table;
    std::string row;                  // the row being inserted
    MoxRecord* readBuffer = nullptr;  // refilled by every read
    std::unordered_map<int32_t, TupleId> tupleOfKey;
    std::unordered_map<std::string, TupleId> tupleOfName;
};

#endif
