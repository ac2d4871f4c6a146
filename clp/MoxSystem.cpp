#include "MoxSystem.h"

#include "../buffer/MoxBufferManager.h"
#include "../file/MoxFileManager.h"
#include "../index/MoxIndexManager.h"
#include "../lock/MoxLockManager.h"
#include "../log/MoxLogManager.h"
#include "../record/MoxRecordManager.h"
#include "../support/MoxFirstFailure.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = Support;

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
    // Order: catalog, record, index, lock, log, buffer, file; the catalog
    // manager takes its place once it exists.
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
