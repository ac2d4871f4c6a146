#include "MoxScopedLock.h"

#include "../support/MoxError.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = LockManager;

MoxScopedLock::MoxScopedLock(SegmentId segment, MoxLockManager::LockType type, bool forceRequest, bool tryLock)
    : segmentId(segment), pageId(0), slotId(0), lockScope(Segment), lockGranted(false), addedEntry(false) {
    MOX_TRACE_ENTRY();
    acquire(type, forceRequest, tryLock);
}

MoxScopedLock::MoxScopedLock(SegmentId segment, PageId page, MoxLockManager::LockType type, bool forceRequest,
                             bool tryLock)
    : segmentId(segment), pageId(page), slotId(0), lockScope(Page), lockGranted(false), addedEntry(false) {
    MOX_TRACE_ENTRY();
    acquire(type, forceRequest, tryLock);
}

MoxScopedLock::MoxScopedLock(SegmentId segment, PageId page, SlotId slot, MoxLockManager::LockType type,
                             bool forceRequest, bool tryLock)
    : segmentId(segment), pageId(page), slotId(slot), lockScope(Slot), lockGranted(false), addedEntry(false) {
    MOX_TRACE_ENTRY();
    acquire(type, forceRequest, tryLock);
}

MoxScopedLock::~MoxScopedLock() {
    MOX_TRACE_ENTRY();
    // A destructor that threw would end the process wherever the scoped lock
    // lives in a holder that cannot let exceptions through.
    try {
        release();
    } catch (const MoxException& exception) {
        exception.SET_ERROR();
        MOX_TRACE_ERROR();
    }
}

Uint32 MoxScopedLock::countEntries() const {
    MoxLockManager* manager = MoxLockManager::getInstance();
    switch (lockScope) {
        case Segment:
            return manager->countOwnLocks(segmentId, MoxLockManager::NO_PAGE, MoxLockManager::NO_SLOT);
        case Page:
            return manager->countOwnLocks(segmentId, pageId, MoxLockManager::NO_SLOT);
        case Slot:
            return manager->countOwnLocks(segmentId, pageId, slotId);
    }
    THROW(MOX_INTERNAL_FAIL);
}

void MoxScopedLock::acquire(MoxLockManager::LockType type, bool forceRequest, bool tryLock) {
    MOX_TRACE_ENTRY();
    MoxLockManager* manager = MoxLockManager::getInstance();
    const Uint32 before = countEntries();
    switch (lockScope) {
        case Segment:
            lockGranted = tryLock ? manager->tryRequestSegment(segmentId, type, forceRequest)
                                  : (manager->requestSegment(segmentId, type, forceRequest), true);
            break;
        case Page:
            lockGranted = tryLock ? manager->tryRequestPage(segmentId, pageId, type, forceRequest)
                                  : (manager->requestPage(segmentId, pageId, type, forceRequest), true);
            break;
        case Slot:
            lockGranted = tryLock ? manager->tryRequestSlot(segmentId, pageId, slotId, type, forceRequest)
                                  : (manager->requestSlot(segmentId, pageId, slotId, type, forceRequest), true);
            break;
    }
    addedEntry = lockGranted && countEntries() > before;
}

void MoxScopedLock::upgradeLock() {
    MOX_TRACE_ENTRY();
    if (!lockGranted) {
        return;
    }
    MoxLockManager* manager = MoxLockManager::getInstance();
    // Forced: the exclusive entry is always a new one, the scope's own.
    switch (lockScope) {
        case Segment:
            manager->requestSegment(segmentId, MoxLockManager::ExclusiveLock, true);
            break;
        case Page:
            manager->requestPage(segmentId, pageId, MoxLockManager::ExclusiveLock, true);
            break;
        case Slot:
            manager->requestSlot(segmentId, pageId, slotId, MoxLockManager::ExclusiveLock, true);
            break;
        default:
            THROW(MOX_INTERNAL_FAIL);
    }
    addedEntry = true;
}

void MoxScopedLock::release() {
    MOX_TRACE_ENTRY();
    if (!lockGranted) {
        return;
    }
    // Tried once: a failed release is not repeated by the destructor.
    lockGranted = false;
    if (!addedEntry) {
        return;
    }
    MoxLockManager* manager = MoxLockManager::getInstance();
    switch (lockScope) {
        case Segment:
            manager->releaseSegment(segmentId);
            return;
        case Page:
            manager->releasePage(segmentId, pageId);
            return;
        case Slot:
            manager->releaseSlot(segmentId, pageId, slotId);
            return;
    }
    THROW(MOX_INTERNAL_FAIL);
}
