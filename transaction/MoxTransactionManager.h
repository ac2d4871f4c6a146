#ifndef MOX_TRANSACTION_MANAGER_H
#define MOX_TRANSACTION_MANAGER_H

#include "MoxTransactionId.h"
#include "MoxErrorCodes.h"

// Owns the current transaction identifier of the process. Locks, log records
// and page changes are made on behalf of it. One per process, created by
// getInstance on first use and kept until the process ends.
class MoxTransactionManager {
  public:
    static MoxTransactionManager* getInstance();

    MoxTransactionManager(const MoxTransactionManager&) = delete;
    MoxTransactionManager& operator=(const MoxTransactionManager&) = delete;

    MoxTransactionId getCurrentTransactionID();

    // Moves to the next count of this process (65535 wraps to 0).
    MoxErrorCode startNewTransaction();

  private:
    MoxTransactionManager();

    // A forked child inherits its parent's manager; its transactions must
    // still carry its own process id, or it would act on the parent's locks.
    void adoptCallingProcess();

    // The "transactionId" debug command; the argument is not used.
    static void dumpTransactionId(const char* argument);

    static MoxTransactionManager* instance;

    MoxTransactionId mCurrentTransactionID;
};

#endif
