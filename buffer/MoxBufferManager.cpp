#include "MoxBufferManager.h"

#include "MoxBufferContent.h"
#include "../support/MoxException.h"
#include "../support/MoxScopedMemorySet.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = BufferManager;

void MoxBufferManager::haveFixedPages(bool& inUse) {
    MOX_TRACE_ENTRY();
    inUse = false;
    try {
        MoxScopedMemorySet connection(MoxMemoryManager::BufferPool);
        const MoxBufferContent* pool = static_cast<const MoxBufferContent*>(connection.getData());
        for (const MoxPage& frame : pool->pages) {
            if (frame.fixCount > 0) {
                inUse = true;
                break;
            }
        }
        connection.disconnect();
    } catch (const MoxException& exception) {
        if (exception.getErrorCode() != MOX_MM_SHM_NOT_EXISTS) {
            throw;
        }
        inUse = false;
    }
}

void MoxBufferManager::destroyBuffer() {
    MOX_TRACE_ENTRY();
    MoxScopedMemorySet::destroyLatchedSet(MoxMemoryManager::BufferPool);
}
