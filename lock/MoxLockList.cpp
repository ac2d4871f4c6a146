#include "MoxLockList.h"

#include <algorithm>

#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = LockManager;

namespace {

// Whether a link read from the shared list names an entry; a damaged list
// may hold any value.
bool isLockEntry(Uint32 index) {
    return index < MOX_LOCK_LIST_END;
}
bool isWaitingEntry(Uint32 index) {
    return index < MOX_LOCK_LIST_END_WAITING;
}

bool isObject(const MoxLockEntry& entry, const MoxLockObject& object) {
    return entry.segmentId == object.segment && entry.pageId == object.page && entry.slotId == object.slot;
}

// States of a waiting entry during the deadlock search.
const Uint8 notVisited = 0;
const Uint8 inProgress = 1;
const Uint8 done = 2;

}  // namespace

void MoxLockList::initialize(MoxLockListLayout& layout) {
    MOX_TRACE_ENTRY();
    MoxLockListHeader& header = layout.header;
    header.countEntry = 0;
    for (Uint32 bucketIndex = 0; bucketIndex < MOX_LOCK_BUCKETS; ++bucketIndex) {
        header.index[bucketIndex] = MOX_LOCK_LIST_END;
    }
    header.index[MOX_LOCK_FREE_HEAD] = 0;
    for (Uint32 i = 0; i < MOX_LOCK_LIST_END; ++i) {
        MoxLockEntry& entry = layout.lockEntry[i];
        entry.transactionId = MoxTransactionId(0, 0);
        entry.prevEntry = i == 0 ? MOX_LOCK_LIST_END : i - 1;
        entry.nextEntry = i + 1;  // the last one's successor is MOX_LOCK_LIST_END
    }
    header.nextFreeEntry = 0;
    for (Uint32 i = 0; i < MOX_LOCK_LIST_END_WAITING; ++i) {
        MoxWaitingEntry& entry = layout.waitingEntry[i];
        entry.waitingTransaction = MoxTransactionId(0, 0);
        entry.prevEntry = i == 0 ? MOX_LOCK_LIST_END_WAITING : i - 1;
        entry.nextEntry = i + 1;
    }
    header.firstUsedWaitingEntry = MOX_LOCK_LIST_END_WAITING;
}

Uint32 MoxLockList::bucket(const MoxLockObject& object) {
    return (object.segment % 10) * 10 + ((object.page % 10) + (object.slot % 10)) % 10;
}

Uint32 MoxLockList::insertEntry(const MoxTransactionId& transaction, LockType type, const MoxLockObject& object) {
    MOX_TRACE_ENTRY();
    MoxLockListHeader& header = layout.header;
    // One entry always stays free, so the taken one has a successor; a
    // free list without an entry is damaged and holds no space either.
    Uint32 taken = header.index[MOX_LOCK_FREE_HEAD];
    if (header.countEntry >= MOX_LOCK_MAX_ENTRY || !isLockEntry(taken)) {
        THROW(MOX_LM_LOCK_LIST_FULL);
    }
    MoxLockEntry& entry = layout.lockEntry[taken];
    header.index[MOX_LOCK_FREE_HEAD] = entry.nextEntry;
    if (isLockEntry(entry.nextEntry)) {
        layout.lockEntry[entry.nextEntry].prevEntry = MOX_LOCK_LIST_END;
    }

    linkFirst(bucket(object), taken);

    entry.segmentId = object.segment;
    entry.pageId = object.page;
    entry.slotId = object.slot;
    entry.transactionId = transaction;
    entry.lockType = type;
    header.countEntry += 1;
    MOX_TRACE_NUMBER(1, "inserted entry", taken);
    return taken;
}

void MoxLockList::linkFirst(Uint32 head, Uint32 index) {
    MoxLockEntry& entry = layout.lockEntry[index];
    Uint32 first = layout.header.index[head];
    entry.prevEntry = MOX_LOCK_LIST_END;
    entry.nextEntry = first;
    if (isLockEntry(first)) {
        layout.lockEntry[first].prevEntry = index;
    }
    layout.header.index[head] = index;
}

void MoxLockList::deleteEntry(Uint32 index) {
    MOX_TRACE_ENTRY();
    MOX_TRACE_NUMBER(1, "deleted entry", index);
    MoxLockListHeader& header = layout.header;
    MoxLockEntry& entry = layout.lockEntry[index];
    entry.transactionId = MoxTransactionId(0, 0);
    if (entry.prevEntry == MOX_LOCK_LIST_END) {
        header.index[bucket({entry.segmentId, entry.pageId, entry.slotId})] = entry.nextEntry;
    } else if (isLockEntry(entry.prevEntry)) {
        layout.lockEntry[entry.prevEntry].nextEntry = entry.nextEntry;
    }
    if (isLockEntry(entry.nextEntry)) {
        layout.lockEntry[entry.nextEntry].prevEntry = entry.prevEntry;
    }
    linkFirst(MOX_LOCK_FREE_HEAD, index);
    header.countEntry -= 1;
}

template <typename Visit>
void MoxLockList::walkChain(Uint32 bucketIndex, Visit visit) const {
    // A sound chain holds each entry once: more steps mean a cycle.
    Uint32 current = layout.header.index[bucketIndex];
    for (Uint32 steps = 0; isLockEntry(current) && steps < MOX_LOCK_LIST_END; ++steps) {
        const MoxLockEntry& entry = layout.lockEntry[current];
        if (entry.nextEntry == current ||
            (entry.nextEntry != MOX_LOCK_LIST_END && entry.nextEntry == entry.prevEntry)) {
            return;
        }
        if (!visit(current, entry)) {
            return;
        }
        current = entry.nextEntry;
    }
}

template <typename Match>
Uint32 MoxLockList::findNewest(const MoxLockObject& object, Match match) const {
    Uint32 found = MOX_LOCK_LIST_END;
    walkChain(bucket(object), [&](Uint32 index, const MoxLockEntry& entry) {
        if (isObject(entry, object) && match(entry)) {
            found = index;
            return false;
        }
        return true;
    });
    return found;
}

Uint32 MoxLockList::existsEntry(const MoxLockObject& object) const {
    return findNewest(object, [](const MoxLockEntry&) { return true; });
}

Uint32 MoxLockList::existsEntry(const MoxTransactionId& transaction, const MoxLockObject& object) const {
    return findNewest(object, [&](const MoxLockEntry& entry) { return (entry.transactionId == transaction); });
}

Uint32 MoxLockList::existsLockType(const MoxTransactionId& transaction, LockType type,
                                   const MoxLockObject& object) const {
    return findNewest(object, [&](const MoxLockEntry& entry) {
        return entry.lockType == Uint32(type) && (entry.transactionId == transaction);
    });
}

Uint32 MoxLockList::countEntries(const MoxTransactionId& transaction, const MoxLockObject& object) const {
    Uint32 count = 0;
    walkChain(bucket(object), [&](Uint32, const MoxLockEntry& entry) {
        count += isObject(entry, object) && (entry.transactionId == transaction) ? 1 : 0;
        return true;
    });
    return count;
}

std::vector<Uint32> MoxLockList::entriesOfOthers(const MoxTransactionId& transaction, const MoxLockObject& object,
                                                 unsigned types) const {
    std::vector<Uint32> entries;
    std::vector<MoxTransactionId> holders;
    // The chain runs newest first: a transaction's first match is its newest.
    walkChain(bucket(object), [&](Uint32 index, const MoxLockEntry& entry) {
        const MoxTransactionId& holder = entry.transactionId;
        if (isObject(entry, object) && !(holder == transaction) && entry.lockType < 4 &&
            (types & (1u << entry.lockType)) != 0 &&
            std::find(holders.begin(), holders.end(), holder) == holders.end()) {
            holders.push_back(holder);
            entries.push_back(index);
        }
        return true;
    });
    return entries;
}

Uint32 MoxLockList::existsEntryOfOtherTransaction(const MoxTransactionId& transaction,
                                                  const MoxLockObject& object) const {
    return findNewest(object, [&](const MoxLockEntry& entry) { return !(entry.transactionId == transaction); });
}

MoxLockList::ObjectEntries MoxLockList::describe(const MoxTransactionId& transaction,
                                                 const MoxLockObject& object) const {
    MOX_TRACE_ENTRY();
    ObjectEntries entries;
    walkChain(bucket(object), [&](Uint32 index, const MoxLockEntry& entry) {
        if (!isObject(entry, object)) {
            return true;
        }
        bool own = (entry.transactionId == transaction);
        if (entries.newest == MOX_LOCK_LIST_END) {
            entries.newest = index;
        }
        if (entry.lockType < 4 && own) {
            entries.own[entry.lockType] = true;
        }
        entries.ownAny = entries.ownAny || own;
        if (!own && entries.newestOther == MOX_LOCK_LIST_END) {
            entries.newestOther = index;
        }
        if (!own && entry.lockType == ExclusiveLock && entries.otherExclusive == MOX_LOCK_LIST_END) {
            entries.otherExclusive = index;
        }
        if (!own && entry.lockType == SharedLock && entries.otherShared == MOX_LOCK_LIST_END) {
            entries.otherShared = index;
        }
        if (entry.lockType == SharedLock) {
            entries.sharedCount += 1;
            entries.otherSharedCount += own ? 0 : 1;
        }
        entries.otherIntentionExclusive =
            entries.otherIntentionExclusive || (!own && entry.lockType == IntentionalExclusiveLock);
        return true;
    });
    return entries;
}

bool MoxLockList::existsLockForTransaction(const MoxTransactionId& transaction) const {
    MOX_TRACE_ENTRY();
    bool found = false;
    for (Uint32 bucketIndex = 0; bucketIndex < MOX_LOCK_BUCKETS && !found; ++bucketIndex) {
        walkChain(bucketIndex, [&](Uint32, const MoxLockEntry& entry) {
            found = (entry.transactionId == transaction);
            return !found;
        });
    }
    return found;
}

bool MoxLockList::existsExclusiveLock() const {
    MOX_TRACE_ENTRY();
    bool found = false;
    for (Uint32 bucketIndex = 0; bucketIndex < MOX_LOCK_BUCKETS && !found; ++bucketIndex) {
        walkChain(bucketIndex, [&](Uint32, const MoxLockEntry& entry) {
            found = entry.lockType == ExclusiveLock || entry.lockType == IntentionalExclusiveLock;
            return !found;
        });
    }
    return found;
}

void MoxLockList::insertWaitingEntry(const MoxTransactionId& transaction, Uint32 lockEntry, bool detect) {
    MOX_TRACE_ENTRY();
    MoxLockListHeader& header = layout.header;
    // Entry 100 is never handed out; a head beyond it is damage.
    if (header.nextFreeEntry >= MOX_LOCK_MAX_ENTRY_WAITING) {
        THROW(MOX_LM_LOCK_LIST_FULL);
    }
    Uint32 taken = header.nextFreeEntry;
    MoxWaitingEntry& entry = layout.waitingEntry[taken];
    header.nextFreeEntry = entry.nextEntry;
    if (isWaitingEntry(entry.nextEntry)) {
        layout.waitingEntry[entry.nextEntry].prevEntry = MOX_LOCK_LIST_END_WAITING;
    }

    Uint32 newest = header.firstUsedWaitingEntry;
    entry.prevEntry = newest;
    entry.nextEntry = MOX_LOCK_LIST_END_WAITING;
    if (isWaitingEntry(newest)) {
        layout.waitingEntry[newest].nextEntry = taken;
    }
    header.firstUsedWaitingEntry = taken;
    entry.waitingTransaction = transaction;
    entry.indexOfLockEntry = lockEntry;
    MOX_TRACE_NUMBER(1, "waiting entry", taken);
    MOX_TRACE_NUMBER(2, "waits for lock entry", lockEntry);

    if (detect && checkWaitingListForDeadlock()) {
        deleteWaitingEntry(transaction, lockEntry, BothMatch);
        THROW(MOX_LM_DEADLOCK);
    }
}

bool MoxLockList::deleteWaitingEntry(const MoxTransactionId& transaction, Uint32 lockEntry, WaitingMatch mode) {
    MOX_TRACE_ENTRY();
    Uint32 found = MOX_LOCK_LIST_END_WAITING;
    walkWaiting(layout, [&](Uint32 index, const MoxWaitingEntry& entry) {
        bool transactionMatches = (entry.waitingTransaction == transaction);
        bool lockEntryMatches = entry.indexOfLockEntry == lockEntry;
        bool matches = mode == BothMatch          ? transactionMatches && lockEntryMatches
                       : mode == TransactionMatch ? transactionMatches
                                                  : lockEntryMatches;
        found = matches ? index : found;
        return !matches;
    });
    if (found == MOX_LOCK_LIST_END_WAITING) {
        return false;
    }
    MoxLockListHeader& header = layout.header;
    MoxWaitingEntry& entry = layout.waitingEntry[found];
    if (isWaitingEntry(entry.prevEntry)) {
        layout.waitingEntry[entry.prevEntry].nextEntry = entry.nextEntry;
    }
    if (entry.nextEntry == MOX_LOCK_LIST_END_WAITING) {
        header.firstUsedWaitingEntry = entry.prevEntry;
    } else if (isWaitingEntry(entry.nextEntry)) {
        layout.waitingEntry[entry.nextEntry].prevEntry = entry.prevEntry;
    }
    entry.waitingTransaction = MoxTransactionId(0, 0);
    entry.prevEntry = MOX_LOCK_LIST_END_WAITING;
    entry.nextEntry = header.nextFreeEntry;
    if (isWaitingEntry(header.nextFreeEntry)) {
        layout.waitingEntry[header.nextFreeEntry].prevEntry = found;
    }
    header.nextFreeEntry = found;
    MOX_TRACE_NUMBER(1, "deleted waiting entry", found);
    return true;
}

bool MoxLockList::deleteWaitingEntry(const MoxTransactionId& transaction, Uint32 lockEntry) {
    return deleteWaitingEntry(transaction, lockEntry, BothMatch);
}

bool MoxLockList::deleteWaitingEntry(Uint32 lockEntry) {
    return deleteWaitingEntry(MoxTransactionId::INVALID_TRANSACTION_ID, lockEntry, LockEntryMatch);
}

bool MoxLockList::existsWaitingEntry(const MoxTransactionId& transaction, Uint32 lockEntry) const {
    bool found = false;
    walkWaiting(layout, [&](Uint32, const MoxWaitingEntry& entry) {
        found = entry.indexOfLockEntry == lockEntry && (entry.waitingTransaction == transaction);
        return !found;
    });
    return found;
}

bool MoxLockList::checkWaitingListForDeadlock() const {
    MOX_TRACE_ENTRY();
    Uint32 newest = layout.header.firstUsedWaitingEntry;
    if (!isWaitingEntry(newest)) {
        return false;
    }
    // On the stack: the search runs under the list latch.
    std::array<Uint8, MOX_LOCK_LIST_END_WAITING> state;
    state.fill(notVisited);
    return visitForDeadlock(newest, state);
}

bool MoxLockList::isOnCycle(const MoxTransactionId& transaction, Uint32 lockEntry) const {
    MOX_TRACE_ENTRY();
    Uint32 own = MOX_LOCK_LIST_END_WAITING;
    walkWaiting(layout, [&](Uint32 index, const MoxWaitingEntry& entry) {
        own = entry.indexOfLockEntry == lockEntry && (entry.waitingTransaction == transaction) ? index : own;
        return own == MOX_LOCK_LIST_END_WAITING;
    });
    if (!isWaitingEntry(own)) {
        return false;
    }
    std::array<Uint8, MOX_LOCK_LIST_END_WAITING> state;
    state.fill(notVisited);
    return visitForDeadlock(own, state);
}

bool MoxLockList::visitForDeadlock(Uint32 waiting, std::array<Uint8, MOX_LOCK_LIST_END_WAITING>& state) const {
    if (state[waiting] == inProgress) {
        return true;
    }
    if (state[waiting] == done) {
        return false;  // everything reachable from it was searched already
    }
    state[waiting] = inProgress;
    Uint32 lockEntry = layout.waitingEntry[waiting].indexOfLockEntry;
    bool cycle = false;
    if (isLockEntry(lockEntry)) {
        MoxTransactionId holderId = layout.lockEntry[lockEntry].transactionId;
        walkWaiting(layout, [&](Uint32 other, const MoxWaitingEntry& entry) {
            cycle = (entry.waitingTransaction == holderId) && visitForDeadlock(other, state);
            return !cycle;
        });
    }
    state[waiting] = done;
    return cycle;
}
