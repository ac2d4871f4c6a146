#ifndef MOX_SCOPED_LOCK_H
#define MOX_SCOPED_LOCK_H

#include "MoxLockManager.h"

// Holds one segment, page or slot lock of the current transaction for the
// life of a scope. The constructor requests it (a try may leave it not
// granted); the destructor releases the transaction's newest lock on the
// object, and for page and slot scope one intention lock on each coarser
// level, if the scope added an entry on the object: a request granted
// without one (the transaction held the lock already, or a coarser lock
// covers it) leaves nothing of the scope's own to release, and releasing
// would take away the lock of an enclosing scope.
class MoxScopedLock {
  public:
    enum LockScope { Segment = 0, Page = 1, Slot = 2 };

    MoxScopedLock(SegmentId segment, MoxLockManager::LockType type, bool forceRequest = false, bool tryLock = false);
    MoxScopedLock(SegmentId segment, PageId page, MoxLockManager::LockType type, bool forceRequest = false,
                  bool tryLock = false);
    MoxScopedLock(SegmentId segment, PageId page, SlotId slot, MoxLockManager::LockType type, bool forceRequest = false,
                  bool tryLock = false);
    // Releases the lock if it is still held; a failure (the lock went with
    // releaseAll, for instance) is recorded in the error object, never thrown.
    ~MoxScopedLock();
    MoxScopedLock(const MoxScopedLock&) = delete;
    MoxScopedLock& operator=(const MoxScopedLock&) = delete;

    bool isLockGranted() const { return lockGranted; }

    // Adds an exclusive lock on the object (the earlier entry stays); the
    // destructor then releases the exclusive one. Nothing when not granted.
    void upgradeLock();

    // Releases the lock now and throws a failed release, for callers that
    // must know; either way the destructor releases nothing more. Nothing
    // when not granted or when the scope added no entry.
    void release();

  private:
    void acquire(MoxLockManager::LockType type, bool forceRequest, bool tryLock);
    // The transaction's entries on the object.
    Uint32 countEntries() const;

    const SegmentId segmentId;
    const PageId pageId;
    const SlotId slotId;
    const LockScope lockScope;
    bool lockGranted;  // and not released yet
    bool addedEntry;   // the request or an upgrade added an entry on the object
};

#endif
