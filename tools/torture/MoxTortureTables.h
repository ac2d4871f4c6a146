#ifndef MOX_TORTURE_TABLES_H
#define MOX_TORTURE_TABLES_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "MoxCatalog.h"
#include "MoxIndexManager.h"
#include "MoxRecordManager.h"

// The shared tables of the crash torture and the load runs: TORTURE0 to
// TORTURE2, each (K INTEGER, V VARCHAR(3000) nullable, N INTEGER, S
// INTEGER) with a
// unique index on K and a non-unique one on N, defined through the catalog
// and changed as a program changes tables with indexes: rows built with
// MoxRecordTuple and stored by the record manager, every index entry kept
// by the caller through the index manager.
//
// One per process, in a started system; every change belongs to the
// caller's transaction and throws the MoxException of the layer below
// (lock time-outs and deadlocks among them).
class MoxTortureTables {
  public:
    static constexpr int tableCount = 3;
    static constexpr Uint16 maxValueLength = 3000;

    // A row as the runs describe it: S is the seed, V is valueOf(seed,
    // length), NULL for length 0, and N is numberOf(seed).
    struct Row {
        Sint32 key = 0;
        Uint32 seed = 0;
        Uint16 length = 0;
        bool operator==(const Row& other) const {
            return key == other.key && seed == other.seed && length == other.length;
        }
    };
    // What one table holds, by key.
    typedef std::map<Sint32, Row> Contents;

    static std::string valueOf(Uint32 seed, Uint16 length);
    static Sint32 numberOf(Uint32 seed) { return static_cast<Sint32>(seed % 61); }

    // Defines the tables and their indexes and commits. Once per database.
    static void create();

    // Finds the tables and opens their indexes. Opening an index locks its
    // segment shared for the transaction, which keeps other transactions
    // from changing it: commit before the changes begin.
    MoxTortureTables();

    // The row's TupleId through the unique index; false when the key has none.
    bool find(int table, Sint32 key, TupleId& tid);
    // Inserts the row or replaces the key's row, with its index entries.
    // MOX_RM_REC_NOT_FOUND when another transaction removed the key's row
    // between the index lookup and the read of the row, and
    // MOX_IM_DUPLICATE_KEY_IN_UNIQUE_INDEX when another one inserted the
    // key after the lookup found none: no lock covers a key's absence.
    void put(int table, const Row& row);
    // Removes the key's row and its index entries; false when there is
    // none. MOX_RM_REC_NOT_FOUND as put.
    bool remove(int table, Sint32 key);

    // Every way the table and both its indexes differ from contents.
    std::vector<std::string> differences(int table, const Contents& contents);

  private:
    struct Table {
        TableId id = 0;
        IndexId byKey = 0;
        IndexId byNumber = 0;
        std::unique_ptr<MoxTable> descriptor;
    };
    static std::string nameOf(int table) { return "TORTURE" + std::to_string(table); }
    // A stored row read with its table's descriptor, taking the record;
    // problem tells when its columns do not belong together.
    Row rowOf(Table& table, MoxRecord* record, std::string& problem);
    // The row of the key at tid, which the index gave: locked for the
    // transaction. MOX_RM_REC_NOT_FOUND when another transaction removed
    // it since, and perhaps put another row in its place.
    Row rowOfKey(Table& table, Sint32 key, const TupleId& tid);
    std::vector<TupleId> entriesOf(IndexId index, const MoxIndexKey* start, const MoxIndexKey* stop);

    Table tables[tableCount];
};

#endif
