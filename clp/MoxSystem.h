#ifndef MOX_SYSTEM_H
#define MOX_SYSTEM_H

#include "../support/MoxException.h"

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
    // Undoes the current transaction and ends it like commit. The record
    // manager rolls back first, then the buffer manager (segments created
    // by the transaction go, dropped ones stay), then the index manager,
    // which closes the indexes whose segments went. A rollback that fails
    // keeps every lock of the transaction, so that nobody sees its changes
    // half undone, and throws MOX_SYSTEM_ROLLBACK_FAILED with the
    // transaction and the failure.
    static void rollback();
    // Restart recovery after a crash, before any other work on the
    // database: the records, then the indexes, each redone and their
    // unfinished transactions undone. The index recovery ends the
    // recovering transaction, which holds the record recovery's locks.
    static void recover();

  private:
    // Releases the current transaction's locks and begins the next one.
    static void endTransaction();
};

#endif
