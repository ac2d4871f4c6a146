#ifndef MOX_SYSTEM_H
#define MOX_SYSTEM_H

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "../support/MoxException.h"
#include "../transaction/MoxTransactionId.h"

// Starts and stops the database system as a whole, ends the process's
// transactions and recovers the database after a crash: the operations
// that span every component. Stateless: static operations only, which let
// only MoxException escape.
class MoxSystem {
  public:
    MoxSystem() = delete;

    // Creates the lock list, the buffer pool and the log file handling
    // sets, then makes sure the database has its catalog (a new database
    // gets one). MOX_MM_SHM_CREATE_FAIL when a set exists already (a started
    // system; the sets created before stay); a failed catalog bootstrap is
    // thrown with its code.
    static void start();

    // Removes the lock list, the log file handling and the buffer pool sets.
    // Without force it refuses with MOX_SYSTEM_STOP_IN_USE while a lock is
    // held or a page is fixed. Stopping a stopped system succeeds.
    static void stop(bool force);

    // Deletes this process's manager singletons that exist, after writing
    // the dirty pages of the pool; a page that could not be written is
    // thrown once every manager is gone. A program that worked on the
    // database calls it before stop.
    static void stopAllManagers();

    // Ends the process's current transaction: the record, index and buffer
    // managers commit, in this order (the first COMMIT entry in the log
    // commits the transaction), then its locks are released and the next
    // transaction begins. A failure leaves the transaction open with its
    // locks.
    static void commit();
    // Undoes the current transaction and ends it like commit; its lock
    // requests do not fail with a deadlock (MoxLockManager::Undoing), the
    // other transactions on the cycle do. The record manager rolls back first, then the buffer manager (segments
    // created by the transaction go, dropped ones stay), then the index manager, which closes the indexes whose
    // segments went. A rollback that fails keeps every lock of the transaction, so that nobody sees its changes half
    // undone, and throws MOX_SYSTEM_ROLLBACK_FAILED with the transaction and the failure.
    static void rollback();
    // Restart recovery after a crash, before any other work on the
    // database: the records, then the indexes, each redone and their
    // unfinished transactions undone. The index recovery ends the
    // recovering transaction, which holds the record recovery's locks.
    static void recover();

    // What recoverDeadTransactions found and did.
    struct DeadProcessRecovery {
        // A latch whose exclusive holder had died: its memory set's name and
        // the holder; the mark is cleared.
        std::vector<std::pair<std::string, Sint32>> latchesCleared;
        struct Transaction {
            MoxTransactionId id;
            // Its changes were undone and its ROLLBACK entries written; false
            // when it had ended already (committed or rolled back) and had
            // only not released its locks.
            bool rolledBack;
            Uint32 locksReleased;
        };
        std::vector<Transaction> transactions;

        // One line for each latch and transaction, or one that says that
        // no dead process was found.
        void print(std::ostream& out) const;
    };
    // Finishes what processes killed in the middle of their work left
    // behind, while the others go on working: clears the exclusive mark of
    // a latch whose holder died, and for each transaction in the lock list
    // whose process no longer runs (or whose process id now belongs to a
    // process that is not attached to the database) undoes its record and
    // index changes from the log as its own rollback would (compensation
    // and ROLLBACK entries under its id, its chain continued), then
    // releases its locks; one that had committed or rolled back only loses
    // its locks. Segments such a transaction created stay.
    //
    // REQUIRES: the calling process's own transaction holds no locks; it is
    // left as it was. A rollback that fails (a lock time-out, for instance)
    // throws MOX_SYSTEM_ROLLBACK_FAILED with the transaction and the failure
    // and keeps that transaction's locks; what was finished before stays
    // finished, and a later call tries again.
    static DeadProcessRecovery recoverDeadTransactions();

  private:
    // Rolls the current transaction's index changes back, reading only its
    // own entries along their chain.
    static void rollbackIndexes(const MoxTransactionId& transaction);
    // Clears the exclusive marks that dead holders left on the three sets'
    // latches.
    static void clearLatchesOfDeadHolders(DeadProcessRecovery& report);
    // Undoes the unfinished parts of a dead process's transaction, acting
    // for it; returns whether anything was left to undo.
    static bool rollbackDeadTransaction(const MoxTransactionId& transaction);
    // Throws MOX_SYSTEM_ROLLBACK_FAILED with the transaction and failure.
    [[noreturn]] static void throwRollbackFailed(const MoxTransactionId& transaction, const MoxException& failure);

    // Releases the current transaction's locks and begins the next one.
    static void endTransaction();
};

#endif
