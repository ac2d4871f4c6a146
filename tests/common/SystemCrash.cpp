#include "SystemCrash.h"

#include <gtest/gtest.h>

#include "MoxBuffer.h"
#include "MoxLock.h"
#include "MoxLog.h"
#include "clp/MoxSystem.h"

void startSets() {
    MoxLockManager::initializeLockList();
    MoxBufferManager::initializeBuffer();
    MoxLogManager::initializeLogFileHandling();
}

void crashSystem() {
    // A manager of this process would write its dirty pages back when it is
    // deleted: the crash would lose nothing.
    ASSERT_FALSE(MoxBufferManager::hasInstance()) << "crash tests do their work in children";
    MoxSystem::stop(true);
    startSets();
}
