#ifndef MOX_TRANSACTION_MANAGER_H
#define MOX_TRANSACTION_MANAGER_H

#include <optional>

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

    // For the rollback of a dead process's transaction: from actFor to
    // stopActingFor the current transaction is that one, so that its locks
    // are this process's own and no request waits for them.
    void actFor(const MoxTransactionId& transaction);
    // Back to this process's own transaction, as it was before actFor.
    void stopActingFor();

  private:
    MoxTransactionManager();

    // A forked child inherits its parent's manager; its transactions must
    // still carry its own process id, or it would act on the parent's locks.
    void adoptCallingProcess();

    // The "transactionId" debug command; the argument is not used.
    static void dumpTransactionId(const char* argument);

    static MoxTransactionManager* instance;

    MoxTransactionId mCurrentTransactionID;
    // This process's own transaction while it acts for another one.
    std::optional<MoxTransactionId> ownTransaction;
};

#endif
