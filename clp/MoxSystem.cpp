#include "MoxSystem.h"

#include "../support/MoxScopedMemorySet.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = Support;

void MoxSystem::stop(bool force) {
    MOX_TRACE_ENTRY();
    MOX_TRACE_NUMBER(1, "force", static_cast<Uint32>(force));
    MoxScopedMemorySet::destroyLatchedSet(MoxMemoryManager::LockList);
    MoxScopedMemorySet::destroyLatchedSet(MoxMemoryManager::LogFileHandling);
    MoxScopedMemorySet::destroyLatchedSet(MoxMemoryManager::BufferPool);
}

void MoxSystem::stopAllManagers() {
    MOX_TRACE_ENTRY();
}
