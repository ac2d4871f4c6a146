#include "MoxLogManager.h"

#include "../support/MoxException.h"
#include "../support/MoxScopedMemorySet.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = LogManager;

void MoxLogManager::initializeLogFileHandling() {
    MOX_TRACE_ENTRY();
    MoxMemoryManager::getMemoryManager()->createMemorySet(MoxMemoryManager::LogFileHandling);
    MoxScopedMemorySet connection(MoxMemoryManager::LogFileHandling);
    LogFileHandling* initLogFileHandling = static_cast<LogFileHandling*>(connection.getData());
    THROW_RC(initLogFileHandling->latch.initialize());
    initLogFileHandling->filenumber = 1;
    connection.disconnect();
}

void MoxLogManager::destroyLogFileHandling() {
    MOX_TRACE_ENTRY();
    MoxScopedMemorySet::destroyLatchedSet(MoxMemoryManager::LogFileHandling);
}
