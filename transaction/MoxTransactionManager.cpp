#include "MoxTransactionManager.h"

#include <iostream>

#include "../support/MoxDebug.h"
#include "../support/MoxProcess.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = LogManager;

MoxTransactionManager* MoxTransactionManager::instance = nullptr;

MoxTransactionManager::MoxTransactionManager() : mCurrentTransactionID() {
    MOX_TRACE_ENTRY();
    MoxDebug::registerFunction(dumpTransactionId, nullptr, "transactionId", "Dumps the current TransactionId");
}

MoxTransactionManager* MoxTransactionManager::getInstance() {
    if (instance == nullptr) {
        instance = new MoxTransactionManager();
    }
    return instance;
}

void MoxTransactionManager::adoptCallingProcess() {
    pid_t self = MoxProcess::id();
    if (ownTransaction.has_value() && ownTransaction->getProcessId() == self) {
        return;
    }
    ownTransaction.reset();
    if (mCurrentTransactionID.getProcessId() != self) {
        mCurrentTransactionID = MoxTransactionId(self, 0);
    }
}

MoxTransactionId MoxTransactionManager::getCurrentTransactionID() {
    MOX_TRACE_ENTRY();
    adoptCallingProcess();
    return mCurrentTransactionID;
}

MoxErrorCode MoxTransactionManager::startNewTransaction() {
    MOX_TRACE_ENTRY();
    adoptCallingProcess();
    Uint16 next = static_cast<Uint16>(mCurrentTransactionID.getUniqueCount() + 1);
    mCurrentTransactionID = MoxTransactionId(mCurrentTransactionID.getProcessId(), next);
    return MOX_SUCCESS;
}

void MoxTransactionManager::actFor(const MoxTransactionId& transaction) {
    MOX_TRACE_ENTRY();
    adoptCallingProcess();
    if (!ownTransaction.has_value()) {
        ownTransaction = mCurrentTransactionID;
    }
    mCurrentTransactionID = transaction;
}

void MoxTransactionManager::stopActingFor() {
    MOX_TRACE_ENTRY();
    adoptCallingProcess();
    if (ownTransaction.has_value()) {
        mCurrentTransactionID = *ownTransaction;
        ownTransaction.reset();
    }
}

void MoxTransactionManager::dumpTransactionId(const char*) {
    MOX_TRACE_ENTRY();
    std::cout << "Current TransactionId: " << getInstance()->getCurrentTransactionID() << std::endl;
}
