#ifndef MOX_LOG_MANAGER_H
#define MOX_LOG_MANAGER_H

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "MoxAbstractLogEntry.h"
#include "MoxLsn.h"
#include "../include/Mox.h"
#include "../support/MoxLatch.h"
#include "../support/MoxMemoryManager.h"
#include "../transaction/MoxTransactionId.h"

class MoxRecovery;

// Appends log entries to the log files 1.log, 2.log, ... in the working
// directory and gives each its LSN: (file number, offset of its first byte).
// Each entry is one line: the serialised form and a newline. All processes of
// a database append to the same files; the shared set LogFileHandling holds
// the latch that serialises appends and the number of the file to append to.
// A file that has grown beyond MOX_LOG_FILE_LIMIT bytes is not continued.
//
// One per process, created by getInstance on first use (the system must be
// started) and deleted by the system stop. It remembers the last LSN it
// wrote, so that consecutive entries of one transaction chain through their
// previous LSN.
class MoxLogManager {
  public:
    // The LogFileHandling memory set's data area.
    struct MOX_PACKED LogFileHandling {
        MoxLatch latch;     // 0-3: serialises every append
        Uint16 filenumber;  // 4-5: log file to append to next; 1 after start
        char unused[3066];  // 6-3071
        // 3072-4095: the memory manager's owner record of the set
        char ownerRecord[MOX_MEMORY_OWNER_LENGTH];
    };

    // Throws the connect's MOX_MM_SHM_NOT_EXISTS when the system is not started.
    static MoxLogManager* getInstance();
    // Whether the process has a manager, so that stopping deletes only one that exists.
    static bool hasInstance() { return instance != nullptr; }

    ~MoxLogManager();
    MoxLogManager(const MoxLogManager&) = delete;
    MoxLogManager& operator=(const MoxLogManager&) = delete;

    // Appends entry under the exclusive log latch and returns its LSN; the
    // entry's LSN, previous LSN and length are set. The entry is in the file
    // (nothing buffered in the process) when this returns. The caller keeps
    // the entry. Throws MOX_LOGM_FILE_OPEN_FAILED, _CLOSE_FAILED or
    // _WRITE_FAILED with the file name; a failed append leaves at most a
    // torn piece of its entry in the file, which the analysis passes over.
    MoxLsn createLogEntry(MoxAbstractLogEntry* entry);

    // The LSN of the last entry this process wrote for the transaction, from
    // which its entries chain back through their previous LSNs; (0,0) when
    // the process's last entry is another transaction's.
    MoxLsn lastLsnOf(const MoxTransactionId& transaction) const;
    // Chains this process's next entry of the transaction to lastLsn, the
    // transaction's last entry that another process wrote: a process that
    // finishes a dead process's transaction continues its chain.
    void continueChain(const MoxTransactionId& transaction, const MoxLsn& lastLsn);

    // Creates the set, initialises its latch and starts at log file 1. Runs at
    // system start.
    static void initializeLogFileHandling();
    // Removes the set with its latch; a set that is missing counts as removed.
    // Runs at system stop.
    static void destroyLogFileHandling();

    // The "LOG_PRINT" debug command: "LISTLSN n", "SHOWLOG tid" or
    // "SHOWLOG firstLsn lastLsn"; anything else prints "Wrong Parameters".
    static void debugLogPrint(const char* args);
    // Listings of the log files on standard output.
    static void showLogRecords(MoxTransactionId transactionId);
    static void showLogRecords(MoxLsn first, MoxLsn last);
    static void listLSN(Uint16 filenumber);

    // For crash tests only: once `appends` more entries of this process are
    // in the log file, the process kills itself with SIGKILL, as a system
    // crash would at that point. 0 turns it off.
    static void TEST_killAfterAppends(Uint32 appends) { appendsUntilKill = appends; }

  private:
    MoxLogManager();

    // The append of createLogEntry under the log latch.
    MoxLsn appendLogEntry(MoxAbstractLogEntry* entry);
    // Opens "<number>.log" for reading and appending, unbuffered, creating
    // it; the descriptor.
    static int openLogFile(Uint16 number, std::string& name);
    static void closeLogFile(int descriptor, const std::string& name);
    // Cuts the log file back to where an entry began whose append failed
    // only at the close, after the whole entry was written: an entry left
    // in the log would be redone by recovery and undone by rollback
    // although the caller was told that it failed. Under the log latch,
    // nothing lies behind it. A failure here is traced; the entry stays.
    static void takeBackEntry(const std::string& name, long entryStart);
    // Reports a failed file operation on standard error and throws code.
    [[noreturn]] static void fail(MoxErrorCode code, const char* message, const std::string& name);
    // The record and index entries of an analysed log in one ascending LSN order.
    static std::vector<MoxAbstractLogEntry*> entriesInLsnOrder(MoxRecovery& recovery);

    static MoxLogManager* instance;
    static Uint32 appendsUntilKill;

    LogFileHandling* logfilehandling;
    std::string sPrevLsn;
    std::string sPrevTransactionID;
};

// Size above which a log file is not continued: 10 MiB.
#define MOX_LOG_FILE_LIMIT 10485760L

static_assert(offsetof(MoxLogManager::LogFileHandling, latch) == 0);
static_assert(offsetof(MoxLogManager::LogFileHandling, filenumber) == 4);
static_assert(offsetof(MoxLogManager::LogFileHandling, ownerRecord) ==
              MOX_LOG_FILE_HANDLING_SIZE - MOX_MEMORY_OWNER_LENGTH);
static_assert(sizeof(MoxLogManager::LogFileHandling) == MOX_LOG_FILE_HANDLING_SIZE);
static_assert(alignof(MoxLogManager::LogFileHandling) == 1);

#endif
