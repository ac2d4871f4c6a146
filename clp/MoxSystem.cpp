#include "MoxSystem.h"

#include "../buffer/MoxBufferManager.h"
#include "../catalog/MoxCatalogManager.h"
#include "../file/MoxFileManager.h"
#include "../index/MoxIndexManager.h"
#include "../lock/MoxLockManager.h"
#include "../log/MoxLogManager.h"
#include "../log/MoxRecovery.h"
#include "../record/MoxRecordManager.h"
#include "../support/MoxError.h"
#include "../support/MoxFirstFailure.h"
#include "../support/MoxTrace.h"
#include "../transaction/MoxTransactionManager.h"

static const MoxComponent componentId = Support;

void MoxSystem::start() {
    MOX_TRACE_ENTRY();
    MoxLockManager::initializeLockList();
    MoxBufferManager::initializeBuffer();
    MoxLogManager::initializeLogFileHandling();
    THROW_RC(MoxCatalogManager::initializeCatalog());
}

void MoxSystem::stop(bool force) {
    MOX_TRACE_ENTRY();
    MOX_TRACE_NUMBER(1, "force", static_cast<Uint32>(force));
    if (!force) {
        bool inUse = false;
        MoxLockManager::isLockListInUse(inUse);
        // The pool is examined only when no lock is held.
        if (!inUse) {
            MoxBufferManager::haveFixedPages(inUse);
        }
        if (inUse) {
            THROW(MOX_SYSTEM_STOP_IN_USE);
        }
    }
    MoxLockManager::destroyLockList();
    MoxLogManager::destroyLogFileHandling();
    MoxBufferManager::destroyBuffer();
}

namespace {

// Deletes the process's manager of the given class if it has one; its
// destructor clears the instance pointer.
template <typename Manager>
void deleteManager() {
    if (Manager::hasInstance()) {
        delete Manager::getInstance();
    }
}

}  // namespace

void MoxSystem::stopAllManagers() {
    MOX_TRACE_ENTRY();
    // The users of a manager go before it: catalog, record, index, lock,
    // log, buffer, file.
    deleteManager<MoxCatalogManager>();
    deleteManager<MoxRecordManager>();
    deleteManager<MoxIndexManager>();
    deleteManager<MoxLockManager>();
    deleteManager<MoxLogManager>();
    // The pool's dirty pages are written here rather than only in the
    // destructor, which cannot report: a page that does not reach its file
    // fails the stop. The managers go regardless.
    MoxFirstFailure failure;
    if (MoxBufferManager::hasInstance()) {
        failure.attempt([] { MoxBufferManager::getInstance()->flushAll(); });
    }
    deleteManager<MoxBufferManager>();
    deleteManager<MoxFileManager>();
    failure.rethrow();
}

void MoxSystem::endTransaction() {
    MOX_TRACE_ENTRY();
    MoxLockManager::getInstance()->releaseAll();
    THROW_RC(MoxTransactionManager::getInstance()->startNewTransaction());
}

void MoxSystem::commit() {
    MOX_TRACE_ENTRY();
    MoxRecordManager::getInstance()->commit();
    MoxIndexManager::getInstance()->commit();
    MoxBufferManager::getInstance()->commit();
    endTransaction();
}

void MoxSystem::rollbackIndexes(const MoxTransactionId& transaction) {
    MOX_TRACE_ENTRY();
    // The transaction's own entries, along their chain: the cost follows the
    // transaction, not the log.
    MoxRecovery analysis;
    analysis.AnalyseTransaction(MoxRecovery::INDEX, transaction, MoxLogManager::getInstance()->lastLsnOf(transaction));
    MoxIndexManager::getInstance()->rollback(analysis);
}

void MoxSystem::throwRollbackFailed(const MoxTransactionId& transaction, const MoxException& failure) {
    // The failure's own message, as the error object formats it.
    failure.SET_ERROR();
    char message[MOX_ERROR_MESSAGE_LENGTH + 1] = {};
    char sqlstate[MOX_SQLSTATE_LENGTH + 1] = {};
    MoxError::getErrorObject()->getError(message, sizeof(message), sqlstate);
    THROW_wARGS2(MOX_SYSTEM_ROLLBACK_FAILED, transaction.dump(), std::string(message) + " (SQLSTATE " + sqlstate + ")");
}

void MoxSystem::rollback() {
    MOX_TRACE_ENTRY();
    const MoxTransactionId transaction = MoxTransactionManager::getInstance()->getCurrentTransactionID();
    try {
        MoxLockManager::Undoing undoing;
        MoxRecordManager::getInstance()->rollback();
        MoxBufferManager::getInstance()->rollback();
        rollbackIndexes(transaction);
    } catch (const MoxException& failure) {
        throwRollbackFailed(transaction, failure);
    }
    endTransaction();
}

void MoxSystem::recover() {
    MOX_TRACE_ENTRY();
    MoxRecordManager::getInstance()->recover();
    MoxIndexManager::getInstance()->recover();
}
