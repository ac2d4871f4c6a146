#ifndef MOX_LOCK_LIST_H
#define MOX_LOCK_LIST_H

#include <array>
#include <vector>

#include "MoxLockListLayout.h"
#include "../transaction/MoxTransactionId.h"

// The operations on the shared lock list: the bucket chains of lock entries,
// their free list, the searches and the waiting list with its deadlock
// detection. It decides nothing about granting; that is the lock manager's.
//
// REQUIRES: every call but initialize runs under the list's latch, held
// exclusively for a change, at least shared for a search. The layout must
// outlive the object.
class MoxLockList : public MoxLockTypes {
  public:
    explicit MoxLockList(MoxLockListLayout& layout) : layout(layout) {}

    // Empties the buckets and chains every lock and waiting entry into its
    // free list; the latch and dbRequestType are left alone.
    static void initialize(MoxLockListLayout& layout);

    static Uint32 bucket(const MoxLockObject& object);

    // Puts a new entry at the front of the object's chain and returns its
    // index; MOX_LM_LOCK_LIST_FULL when MOX_LOCK_MAX_ENTRY are in use.
    Uint32 insertEntry(const MoxTransactionId& transaction, LockType type, const MoxLockObject& object);
    // Unlinks the entry and gives it back to the free list.
    void deleteEntry(Uint32 entry);

    // The newest entry of the object (of the transaction, of the type), or
    // MOX_LOCK_LIST_END.
    Uint32 existsEntry(const MoxLockObject& object) const;
    Uint32 existsEntry(const MoxTransactionId& transaction, const MoxLockObject& object) const;
    Uint32 existsLockType(const MoxTransactionId& transaction, LockType type, const MoxLockObject& object) const;
    // How many entries the transaction holds on the object.
    Uint32 countEntries(const MoxTransactionId& transaction, const MoxLockObject& object) const;
    // The newest entry of the object held by another transaction than this one.
    Uint32 existsEntryOfOtherTransaction(const MoxTransactionId& transaction, const MoxLockObject& object) const;
    // For every other transaction with an entry of one of the types on the
    // object (types: a bit per LockType), its newest such entry.
    std::vector<Uint32> entriesOfOthers(const MoxTransactionId& transaction, const MoxLockObject& object,
                                        unsigned types) const;

    // What one walk of the object's chain tells about its entries, seen
    // from one transaction.
    struct ObjectEntries {
        Uint32 newest = MOX_LOCK_LIST_END;           // of any transaction
        Uint32 newestOther = MOX_LOCK_LIST_END;      // of another transaction
        Uint32 otherExclusive = MOX_LOCK_LIST_END;   // newest ExclusiveLock of another transaction
        Uint32 otherShared = MOX_LOCK_LIST_END;      // newest SharedLock of another transaction
        bool own[4] = {false, false, false, false};  // the transaction holds an entry of the LockType
        bool ownAny = false;
        Uint32 sharedCount = 0;                // SharedLock entries of all transactions
        Uint32 otherSharedCount = 0;           // SharedLock entries of other transactions
        bool otherIntentionExclusive = false;  // another transaction holds an IntentionalExclusiveLock
    };
    ObjectEntries describe(const MoxTransactionId& transaction, const MoxLockObject& object) const;

    // Over all buckets: any entry of the transaction; any exclusive or
    // intentional exclusive entry.
    bool existsLockForTransaction(const MoxTransactionId& transaction) const;
    bool existsExclusiveLock() const;

    // Records that the transaction waits for the lock entry and runs the
    // deadlock detection; MOX_LM_LOCK_LIST_FULL when 100 waiting entries are
    // in use, MOX_LM_DEADLOCK (the entry removed again) when it closes a cycle.
    // With detect false the entry is recorded even where it closes a cycle,
    // which the other transactions on the cycle then find (isOnCycle).
    void insertWaitingEntry(const MoxTransactionId& transaction, Uint32 lockEntry, bool detect = true);

    enum WaitingMatch { BothMatch = 1, TransactionMatch = 2, LockEntryMatch = 3 };
    // Removes the newest waiting entry that matches; false if none does.
    bool deleteWaitingEntry(const MoxTransactionId& transaction, Uint32 lockEntry, WaitingMatch mode);
    bool deleteWaitingEntry(const MoxTransactionId& transaction, Uint32 lockEntry);
    bool deleteWaitingEntry(Uint32 lockEntry);

    bool existsWaitingEntry(const MoxTransactionId& transaction, Uint32 lockEntry) const;

    // Whether the waiting entries reachable from the newest one form a cycle
    // of transactions waiting for each other's lock entries.
    bool checkWaitingListForDeadlock() const;
    // Whether the transaction's waiting entry for the lock entry lies on a
    // cycle; false when there is no such entry.
    bool isOnCycle(const MoxTransactionId& transaction, Uint32 lockEntry) const;

    MoxLockListLayout& getLayout() const { return layout; }

    // Calls visit(index, entry) for each waiting entry in use, newest first,
    // until it returns false; stops at a link out of range, and on a damaged
    // list that cycles after as many steps as there are entries.
    template <typename Visit>
    static void walkWaiting(const MoxLockListLayout& layout, Visit visit) {
        Uint32 current = layout.header.firstUsedWaitingEntry;
        for (Uint32 steps = 0; current < MOX_LOCK_LIST_END_WAITING && steps < MOX_LOCK_LIST_END_WAITING; ++steps) {
            const MoxWaitingEntry& entry = layout.waitingEntry[current];
            if (!visit(current, entry)) {
                return;
            }
            current = entry.prevEntry;
        }
    }

  private:
    // Walks the object's chain from its head, newest first, and returns the
    // first entry of the object for which match holds; stops at the end or
    // at a damaged link (an entry pointing at itself or back at its
    // predecessor, a link out of range, a longer cycle) and then reports none.
    template <typename Match>
    Uint32 findNewest(const MoxLockObject& object, Match match) const;
    // Calls visit for every entry of the chain until it returns false.
    template <typename Visit>
    void walkChain(Uint32 bucketIndex, Visit visit) const;

    bool visitForDeadlock(Uint32 waiting, std::array<Uint8, MOX_LOCK_LIST_END_WAITING>& state) const;

    // Links the lock entry in first behind header.index[head], a bucket head
    // or the free list's head.
    void linkFirst(Uint32 head, Uint32 index);

    MoxLockListLayout& layout;
};

#endif
