#ifndef MOX_RECOVERY_H
#define MOX_RECOVERY_H

#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "MoxIndexLogEntry.h"
#include "MoxIndexUndoHandler.h"
#include "MoxLogFileScanner.h"
#include "MoxRecordLogEntry.h"
#include "MoxRecordUndoHandler.h"

// Reads the whole log (1.log, 2.log, ... in the working directory, without
// the log latch) into memory and sorts its entries into the lists that undo
// and redo work from:
// - redo lists: all entries of a kind in log order (ascending LSN);
// - rollback lists: one transaction's entries of a kind, newest first;
// - undo lists: the entries of unfinished transactions, newest first.
// A transaction is committed once the first of its COMMIT entries is in the
// log: a COMMIT of either kind ends it for both, since a transaction commits
// its records and its indexes with one entry each and a crash can fall
// between the two. A ROLLBACK entry ends only its own kind, whose undo it
// closes. It changes no data: the record and index managers apply the
// lists, for undo through undoRecordEntries and undoIndexEntries.
//
// Created for one analysis and used by one thread. Lists hold pointers into
// the redo arrays, valid while the object lives; the object is a snapshot of
// the log when AnalyseLog ran. Damaged lines are passed over and a missing
// 1.log gives empty lists; the one error is a log file that exists but
// cannot be read (MOX_LOGM_FILE_OPEN_FAILED, thrown by AnalyseLog).
class MoxRecovery {
  public:
    enum rollbackComponent { INDEX = 0, RECORD = 1, ALL = 2 };

    MoxRecovery() = default;
    MoxRecovery(const MoxRecovery&) = delete;
    MoxRecovery& operator=(const MoxRecovery&) = delete;

    // Reads the log and fills the redo arrays of the component's kinds; the
    // other kind's array stays empty, but its COMMIT entries are noted for
    // the undo lists. True unless it throws.
    bool AnalyseLog(rollbackComponent component);
    // Fills the redo arrays with one transaction's entries only, read from
    // lastLsn (the transaction's last entry, MoxLogManager::lastLsnOf) back
    // through their previous LSNs, so that the cost follows the transaction
    // and not the log. Where the chain cannot be followed (an entry that is
    // not there or not the transaction's) it reads the whole log instead.
    // The rollback list built on it is the one AnalyseLog gives. Always true.
    bool AnalyseTransaction(rollbackComponent component, MoxTransactionId transactionId, MoxLsn lastLsn);
    // The transaction's INDEX or RECORD entries, newest first; ALL builds
    // nothing. Always true.
    bool makeRollbackLists(rollbackComponent component, MoxTransactionId transactionId);
    // The component's undo lists (ALL: both), printing an empty line for each.
    // Always true.
    bool makeUndoLists(rollbackComponent component);
    // Whether the transaction has ended for the component (RECORD or
    // INDEX), by the rule of the undo lists: a COMMIT entry of either kind
    // or a ROLLBACK entry of the component's kind. REQUIRES: AnalyseLog of
    // the component (or ALL).
    bool hasEnded(rollbackComponent component, MoxTransactionId transactionId) const;
    // AnalyseLog, then makeRollbackLists.
    bool rollbackTransaction(rollbackComponent component, MoxTransactionId transactionId);
    // AnalyseLog, then makeUndoLists.
    bool recoverDb(rollbackComponent component);

    MoxRecordLogEntry* getRecordRedoList() { return oRecordRedo.data(); }
    MoxIndexLogEntry* getIndexRedoList() { return oIndexRedo.data(); }
    int getRecordRedoListLength() const { return static_cast<int>(oRecordRedo.size()); }
    int getIndexRedoListLength() const { return static_cast<int>(oIndexRedo.size()); }
    MoxRecordLogEntry** getRecordUndoList() { return oRecordUndo.data(); }
    MoxIndexLogEntry** getIndexUndoList() { return oIndexUndo.data(); }
    int getRecordUndoListLength() const { return static_cast<int>(oRecordUndo.size()); }
    int getIndexUndoListLength() const { return static_cast<int>(oIndexUndo.size()); }
    MoxRecordLogEntry** getRecordRollbackList() { return oRecordRollback.data(); }
    MoxIndexLogEntry** getIndexRollbackList() { return oIndexRollback.data(); }
    int getRecordRollbackListLength() const { return static_cast<int>(oRecordRollback.size()); }
    int getIndexRollbackListLength() const { return static_cast<int>(oIndexRollback.size()); }

    // Undoes a rollback or undo list from its first (newest) element: inserts
    // are removed, updates restored, deletes re-inserted (compensations
    // alike); other types are passed over.
    static void undoRecordEntries(MoxRecordLogEntry** list, int length, MoxRecordUndoHandler& handler);
    // Restores integer (types 16-18) and varchar (13-15) pages from their
    // before images, newest first; other types are passed over.
    static void undoIndexEntries(MoxIndexLogEntry** list, int length, MoxIndexUndoHandler& handler);

  private:
    void clearLists();
    // Follows the chain; false where it breaks.
    bool readChain(rollbackComponent component, MoxTransactionId transactionId, MoxLsn lastLsn);
    // Reads the whole log file into bytes; false when there is no file of
    // that name, which ends the log. A name that is no regular file holds
    // nothing. A file that exists but cannot be opened or read throws
    // MOX_LOGM_FILE_OPEN_FAILED with its name: an analysis that ended there
    // would drop the entries from it on, and an undo built on it would
    // silently leave changes in place.
    static bool readLogFile(const std::string& name, std::string& bytes);
    void analyseFile(Uint16 filenumber, const char* data, size_t size, rollbackComponent component);
    void addRecordEntry(const MoxLogFileScanner::Fields& fields);
    void addIndexEntry(const MoxLogFileScanner::Fields& fields);
    // Takes an entry of either kind into the analysis: into the redo array
    // of its kind if the component asks for it, into committed if it is a
    // COMMIT.
    void takeEntry(const MoxLogFileScanner::Fields& fields, rollbackComponent component);

    std::vector<MoxRecordLogEntry> oRecordRedo;
    std::vector<MoxIndexLogEntry> oIndexRedo;
    std::vector<MoxRecordLogEntry*> oRecordRollback;
    std::vector<MoxIndexLogEntry*> oIndexRollback;
    std::vector<MoxRecordLogEntry*> oRecordUndo;
    std::vector<MoxIndexLogEntry*> oIndexUndo;
    // The transactions with a COMMIT entry of either kind, as (process id,
    // running count).
    std::set<std::pair<Sint32, Uint16>> committed;
};

#endif
