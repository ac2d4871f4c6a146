#include "MoxScopedMemorySet.h"

#include "MoxError.h"
#include "MoxException.h"
#include "MoxLatch.h"
#include "MoxTrace.h"

static const MoxComponent componentId = Support;

MoxScopedMemorySet::MoxScopedMemorySet(MoxMemoryManager::MemorySet set) : set(set), data(nullptr), connected(false) {
    MoxMemoryManager* memoryManager = MoxMemoryManager::getMemoryManager();
    void* attached = memoryManager->getSetProperties(set).ptr;
    if (attached != nullptr) {
        // A process attaches a set only once: share the mapping of its manager.
        data = static_cast<char*>(attached) + MOX_MEMORY_MARKER_LENGTH;
        return;
    }
    memoryManager->connectToMemorySet(set, data);
    connected = true;
}

MoxScopedMemorySet::~MoxScopedMemorySet() {
    if (!connected) {
        return;
    }
    try {
        MoxMemoryManager::getMemoryManager()->disconnectFromMemorySet(set);
    } catch (const MoxException& exception) {
        exception.SET_ERROR();
        MOX_TRACE_ERROR();
    }
}

void MoxScopedMemorySet::disconnect() {
    if (!connected) {
        return;
    }
    connected = false;
    MoxMemoryManager::getMemoryManager()->disconnectFromMemorySet(set);
}

bool MoxScopedMemorySet::destroyLatchedSet(MoxMemoryManager::MemorySet set) {
    MOX_TRACE_ENTRY();
    MOX_TRACE_NUMBER(1, "memory set", static_cast<Uint32>(set));
    bool existed = workIfExists(set, [](void* data) {
        MoxLatch* latch = static_cast<MoxLatch*>(data);
        // A latch destroyed already (by a stop that failed later on, or a
        // start whose latch could not be created) has no semaphores to ask;
        // asking would fail and leave the set behind for good.
        if (latch->getSemaphoreId() < 0) {
            return;
        }
        bool heldExclusive = false;
        THROW_RC(latch->isHeldExclusive(heldExclusive));
        if (heldExclusive) {
            THROW_RC(latch->release());
        }
        THROW_RC(latch->destroy(false));
    });
    if (existed) {
        MoxMemoryManager::getMemoryManager()->destroyMemorySet(set);
    }
    return existed;
}
