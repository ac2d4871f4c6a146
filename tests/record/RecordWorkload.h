#ifndef MOX_RECORD_WORKLOAD_H
#define MOX_RECORD_WORKLOAD_H

#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "MoxRecordManager.h"

// Random transactions of inserts, replaces (to any length up to 4055 bytes)
// and removes over several tables, each committed or rolled back, next to a
// plain model of what every table holds: TupleId -> bytes. Runs in the
// process that holds the managers. A journal (a file descriptor) receives
// each change once the engine has made it and each commit, so that the test
// process can tell afterwards what a child that died had committed.
class RecordWorkload {
  public:
    typedef std::map<std::pair<PageId, SlotId>, std::string> Table;
    typedef std::map<TableId, Table> Tables;

    RecordWorkload(const Tables& committed, unsigned seed, int journal = -1);

    // One transaction of 1 to 12 changes; a quarter of them roll back.
    void runTransaction();
    // Inserts bytesOf(number, length) in the current transaction; then
    // commits it, both journaled.
    TupleId insert(TableId table, int number, size_t length);
    void commitTransaction();
    const Tables& committed() const { return committedTables; }

    // The bytes of change number `number`, `length` long.
    static std::string bytesOf(int number, size_t length);
    // Every way the tables differ from the model (each record read by its
    // TupleId and compared byte for byte, and no more records than the
    // model's) and every problem TableChecker finds; empty when none. Ends
    // the reading transaction.
    static std::vector<std::string> differences(const Tables& expected);
    // The committed tables after a journal, starting from `start`. A commit
    // that the journal began but did not confirm counts when its COMMIT
    // entry is in the log (the working directory's).
    static Tables replayJournal(const std::string& path, Tables start);

    static void commit();
    static void rollback();

  private:
    void change();
    void note(const std::string& line) const;
    size_t randomLength();

    Tables committedTables;
    Tables current;
    std::mt19937 random;
    int journal;
    int number;
};

#endif
