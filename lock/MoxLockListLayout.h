#ifndef MOX_LOCK_LIST_LAYOUT_H
#define MOX_LOCK_LIST_LAYOUT_H

#include <cstddef>

#include "../include/Mox.h"
#include "../support/MoxLatch.h"
#include "../support/MoxMemoryManager.h"
#include "../transaction/MoxTransactionId.h"

// The lock list as every process sees it in the data area of the LockList
// memory set: a header, the lock entries and the waiting entries, linked by
// indices only. Native byte order. Changed only under header.latch.
// Packed: the data area begins 17 bytes into its segment, so no field is
// aligned; packing keeps every offset and lets the compiler read them
// unaligned.

#define MOX_LOCK_INDEX_LENGTH 101       // 100 bucket heads and the free lock-entry head
#define MOX_LOCK_BUCKETS 100            // hash chains
#define MOX_LOCK_FREE_HEAD 100          // element of index that heads the free lock entries
#define MOX_LOCK_MAX_ENTRY 73056        // lock entries in use at most; one always stays free
#define MOX_LOCK_LIST_END 73057         // no lock entry; also the number of lock entries
#define MOX_LOCK_MAX_ENTRY_WAITING 100  // waiting entries in use at most; entry 100 stays free
#define MOX_LOCK_LIST_END_WAITING 101   // no waiting entry; also the number of waiting entries

struct MOX_PACKED MoxLockListHeader {
    MoxLatch latch;                       // 0-3: protects the whole list
    Uint32 countEntry;                    // 4-7: lock entries in use
    Uint32 index[MOX_LOCK_INDEX_LENGTH];  // 8-411: bucket heads, then the free head
    Uint32 nextFreeEntry;                 // 412-415: head of the free waiting entries
    Uint32 firstUsedWaitingEntry;         // 416-419: newest waiting entry
    Uint32 dbRequestType;                 // 420-423: DBRequestType of the database lock
};
static_assert(alignof(MoxLockListHeader) == 1);
static_assert(sizeof(MoxLockListHeader) == 424);
static_assert(offsetof(MoxLockListHeader, countEntry) == 4);
static_assert(offsetof(MoxLockListHeader, index) == 8);
static_assert(offsetof(MoxLockListHeader, nextFreeEntry) == 412);
static_assert(offsetof(MoxLockListHeader, firstUsedWaitingEntry) == 416);
static_assert(offsetof(MoxLockListHeader, dbRequestType) == 420);

struct MOX_PACKED MoxLockEntry {
    Uint32 lockType;                 // 0-3: MoxLockManager::LockType
    MoxTransactionId transactionId;  // 4-11: holder; zero while free
    SegmentId segmentId;             // 12-13
    PageId pageId;                   // 14-15: or NO_PAGE
    SlotId slotId;                   // 16: or NO_SLOT
    Uint8 padding[3];                // 17-19
    Uint32 prevEntry;                // 20-23: in its bucket chain or the free list
    Uint32 nextEntry;                // 24-27
};
static_assert(alignof(MoxLockEntry) == 1);
static_assert(sizeof(MoxLockEntry) == 28);
static_assert(offsetof(MoxLockEntry, transactionId) == 4);
static_assert(offsetof(MoxLockEntry, segmentId) == 12);
static_assert(offsetof(MoxLockEntry, pageId) == 14);
static_assert(offsetof(MoxLockEntry, slotId) == 16);
static_assert(offsetof(MoxLockEntry, prevEntry) == 20);
static_assert(offsetof(MoxLockEntry, nextEntry) == 24);

struct MOX_PACKED MoxWaitingEntry {
    MoxTransactionId waitingTransaction;  // 0-7
    Uint32 indexOfLockEntry;              // 8-11: the lock entry waited for
    Uint32 prevEntry;                     // 12-15: older waiting entry
    Uint32 nextEntry;                     // 16-19: newer waiting entry
};
static_assert(alignof(MoxWaitingEntry) == 1);
static_assert(sizeof(MoxWaitingEntry) == 20);
static_assert(offsetof(MoxWaitingEntry, indexOfLockEntry) == 8);
static_assert(offsetof(MoxWaitingEntry, prevEntry) == 12);
static_assert(offsetof(MoxWaitingEntry, nextEntry) == 16);

struct MOX_PACKED MoxLockListLayout {
    MoxLockListHeader header;                                 // 0-423
    MoxLockEntry lockEntry[MOX_LOCK_LIST_END];                // 424-2046019
    MoxWaitingEntry waitingEntry[MOX_LOCK_LIST_END_WAITING];  // 2046020-2048039
};
static_assert(offsetof(MoxLockListLayout, lockEntry) == 424);
static_assert(offsetof(MoxLockListLayout, waitingEntry) == 2046020);
static_assert(alignof(MoxLockListLayout) == 1);
static_assert(sizeof(MoxLockListLayout) == 2048040);
// The memory manager's owner record follows the layout.
static_assert(sizeof(MoxLockListLayout) + MOX_MEMORY_OWNER_LENGTH == MOX_LOCK_LIST_SET_SIZE);

// The kinds of lock and of database lock; the lock manager and its users
// name them through MoxLockManager.
struct MoxLockTypes {
    enum LockType {
        SharedLock = 0,
        ExclusiveLock = 1,
        UpdateLock = 1,
        IntentionalSharedLock = 2,
        IntentionalExclusiveLock = 3
    };
    enum DBRequestType { DBNone = 0, DBShared = 1, DBExclusive = 2 };
};

// The object a lock is on: a segment lock has page NO_PAGE and slot NO_SLOT,
// a page lock slot NO_SLOT.
struct MoxLockObject {
    SegmentId segment;
    PageId page;
    SlotId slot;
};

#endif
