#ifndef MOX_TORTURE_WORKER_H
#define MOX_TORTURE_WORKER_H

#include <chrono>
#include <random>
#include <string>

#include "MoxTortureJournal.h"
#include "MoxTortureTables.h"

// One worker process of a torture or load run: random transactions on the
// torture tables through the public interface, one to five changes each
// (insert, replace to a random size, remove, with their index entries), of
// which about one in six is rolled back and the rest committed; a deadlock
// or a lock time-out rolls the transaction back and counts it, and the next
// one begins. Each transaction goes to the journal before its commit and is
// confirmed after it.
//
// Runs in a process of its own, with the system started and the tables
// created; any other failure is thrown.
class MoxTortureWorker {
  public:
    struct Stats {
        Uint64 commits = 0;
        Uint64 rollbacks = 0;   // chosen ones
        Uint64 deadlocks = 0;   // MOX_LM_DEADLOCK, rolled back
        Uint64 timeOuts = 0;    // MOX_LM_LOCK_TIME_OUT, rolled back
        Uint64 conflicts = 0;   // a key another transaction inserted or removed after the lookup, rolled back

        void add(const Stats& other);
        std::string text() const;
        static Stats parse(const std::string& text);
    };

    // Keys are drawn from 0 to keySpace - 1, in all tables, for all workers.
    MoxTortureWorker(unsigned seed, const std::string& journalPath, Sint32 keySpace);

    // Runs transactions until the deadline has passed.
    Stats run(std::chrono::steady_clock::time_point deadline);

  private:
    int pick(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(random); }
    // Makes the transaction's changes and lists them in changes.
    void change(std::vector<MoxTortureJournal::Change>& changes);

    std::mt19937 random;
    MoxTortureJournal journal;
    Sint32 keySpace;
    MoxTortureTables tables;
};

#endif
