// The recovery of what processes killed in the middle of their work left in
// the shared sets: latches marked exclusive by a holder that is gone, and
// transactions whose locks block everybody else.

#include <unistd.h>

#include <algorithm>
#include <ostream>

#include "MoxSystem.h"
#include "../index/MoxIndexManager.h"
#include "../lock/MoxLockManager.h"
#include "../log/MoxIndexLogEntry.h"
#include "../log/MoxLogManager.h"
#include "../log/MoxRecordLogEntry.h"
#include "../log/MoxRecovery.h"
#include "../record/MoxRecordManager.h"
#include "../support/MoxLatch.h"
#include "../support/MoxMemoryManager.h"
#include "../support/MoxProcess.h"
#include "../support/MoxScopedMemorySet.h"
#include "../support/MoxTrace.h"
#include "../transaction/MoxTransactionManager.h"

static const MoxComponent componentId = Support;

namespace {

// The LSN of the transaction's last entry of either kind, (0,0) for none.
MoxLsn lastLsnOf(MoxRecovery& analysis, const MoxTransactionId& transaction) {
    MoxLsn last = MoxLsn::dummyLSN();
    for (int i = 0; i < analysis.getRecordRedoListLength(); ++i) {
        const MoxRecordLogEntry& entry = analysis.getRecordRedoList()[i];
        if (entry.getTransactionID() == transaction) last = std::max(last, entry.getLsn());
    }
    for (int i = 0; i < analysis.getIndexRedoListLength(); ++i) {
        const MoxIndexLogEntry& entry = analysis.getIndexRedoList()[i];
        if (entry.getTransactionID() == transaction) last = std::max(last, entry.getLsn());
    }
    return last;
}

// Acts for a transaction for the length of a scope.
class ActingFor {
  public:
    explicit ActingFor(const MoxTransactionId& transaction) {
        MoxTransactionManager::getInstance()->actFor(transaction);
    }
    ~ActingFor() { MoxTransactionManager::getInstance()->stopActingFor(); }
    ActingFor(const ActingFor&) = delete;
    ActingFor& operator=(const ActingFor&) = delete;
};

}  // namespace

void MoxSystem::clearLatchesOfDeadHolders(DeadProcessRecovery& report) {
    MOX_TRACE_ENTRY();
    const MoxMemoryManager::MemorySet sets[] = {MoxMemoryManager::LockList, MoxMemoryManager::BufferPool,
                                                MoxMemoryManager::LogFileHandling};
    for (MoxMemoryManager::MemorySet set : sets) {
        MoxScopedMemorySet::workIfExists(set, [&](void* data) {
            // Every set begins with its latch.
            MoxLatch& latch = *static_cast<MoxLatch*>(data);
            const Sint32 holder = latch.getDeadExclusiveHolder();
            if (holder != 0) {
                THROW_RC(latch.release());
                report.latchesCleared.emplace_back(MoxMemoryManager::getMemoryManager()->getSetProperties(set).name,
                                                   holder);
            }
        });
    }
}

bool MoxSystem::rollbackDeadTransaction(const MoxTransactionId& transaction) {
    MOX_TRACE_ENTRY();
    MoxRecovery analysis;
    analysis.AnalyseLog(MoxRecovery::ALL);
    // A rollback of its own that died after the records goes on with the
    // indexes.
    const bool recordsEnded = analysis.hasEnded(MoxRecovery::RECORD, transaction);
    const bool indexesEnded = analysis.hasEnded(MoxRecovery::INDEX, transaction);
    if (recordsEnded && indexesEnded) {
        return false;
    }
    ActingFor acting(transaction);
    MoxLockManager::Undoing undoing;
    MoxLogManager::getInstance()->continueChain(transaction, lastLsnOf(analysis, transaction));
    try {
        if (!recordsEnded) {
            MoxRecordManager::getInstance()->rollback(analysis);
        }
        if (!indexesEnded) {
            MoxIndexManager::getInstance()->rollback(analysis);
        }
    } catch (const MoxException& failure) {
        throwRollbackFailed(transaction, failure);
    }
    return true;
}

MoxSystem::DeadProcessRecovery MoxSystem::recoverDeadTransactions() {
    MOX_TRACE_ENTRY();
    DeadProcessRecovery report;
    clearLatchesOfDeadHolders(report);
    MoxLockManager* lockMgr = MoxLockManager::getInstance();
    // Every process of the database keeps the lock list attached.
    const int lockListId = MoxMemoryManager::getMemoryManager()->getSetProperties(MoxMemoryManager::LockList).shmId;
    const pid_t self = getpid();
    for (const MoxTransactionId& transaction : lockMgr->getTransactionsInList()) {
        const pid_t owner = transaction.getProcessId();
        if (owner == self || MoxProcess::runsAttachedTo(owner, lockListId)) {
            continue;
        }
        MOX_TRACE_STRING(10, transaction.dump().c_str());
        const bool rolledBack = rollbackDeadTransaction(transaction);
        report.transactions.push_back({transaction, rolledBack, lockMgr->releaseAllOf(transaction)});
    }
    return report;
}

void MoxSystem::DeadProcessRecovery::print(std::ostream& out) const {
    for (const auto& [set, holder] : latchesCleared) {
        out << "The latch of memory set '" << set << "' was held by process " << holder
            << ", which no longer exists: released." << std::endl;
    }
    for (const Transaction& transaction : transactions) {
        out << "Transaction " << transaction.id << " of process " << transaction.id.getProcessId()
            << ", which no longer exists: "
            << (transaction.rolledBack ? "rolled back" : "had ended, nothing to roll back") << ", "
            << transaction.locksReleased << " locks released." << std::endl;
    }
    if (latchesCleared.empty() && transactions.empty()) {
        out << "No process that no longer exists left a latch or a transaction behind." << std::endl;
    }
}
