#ifndef MOX_LOCK_MANAGER_H
#define MOX_LOCK_MANAGER_H

#include <sys/types.h>

#include <set>
#include <string>
#include <vector>

#include "MoxLockList.h"
#include "MoxLockManagerProfiling.h"
#include "MoxOwnLocks.h"
#include "../transaction/MoxTransactionId.h"

class MoxLockWait;

// Grants shared and exclusive locks on segments, pages and slots to the
// current transaction of this process (MoxTransactionManager), in the lock
// list that all processes share. A page or slot lock first takes intention
// locks on the coarser levels. A conflicting request polls, one attempt per
// hold of the list latch, until it is granted or MOX_LOCK_TIMEOUT seconds
// have passed; a waiting transaction is recorded in the waiting list, where
// cycles are detected when it starts to wait. Locks are held until released,
// normally all at once by releaseAll.
//
// One per process (getInstance), attached to the LockList set for its life;
// one thread per process. Every operation throws MoxException on failure.
// A forked child may use the instance it inherits: it starts with no locks
// of its own.
class MoxLockManager : public MoxLockTypes {
  public:
    static constexpr SegmentId NO_SEG = 0;
    static constexpr PageId NO_PAGE = static_cast<PageId>(-1);
    static constexpr SlotId NO_SLOT = static_cast<SlotId>(-1);
    static constexpr Uint32 INDEX_LENGTH = MOX_LOCK_INDEX_LENGTH;
    static constexpr Uint32 MAX_ENTRY = MOX_LOCK_MAX_ENTRY;
    static constexpr Uint32 LIST_END = MOX_LOCK_LIST_END;
    static constexpr Uint32 MAX_ENTRY_WAITING = MOX_LOCK_MAX_ENTRY_WAITING;
    static constexpr Uint32 LIST_END_WAITING = MOX_LOCK_LIST_END_WAITING;

    // Creates the instance on first use; MOX_MM_SHM_NOT_EXISTS while the
    // system is not started.
    static MoxLockManager* getInstance();
    static bool hasInstance() { return instance != nullptr; }

    // Releases the transaction's locks and detaches; failures are recorded
    // in the error object, never thrown.
    ~MoxLockManager();
    MoxLockManager(const MoxLockManager&) = delete;
    MoxLockManager& operator=(const MoxLockManager&) = delete;

    // System start: creates the LockList set with an empty list.
    static void initializeLockList();
    // System stop: removes the set and its latch; a missing set is no error.
    // A manager of this process keeps its mapping until it is deleted, but
    // every later operation of it fails on the latch that is gone.
    static void destroyLockList();
    // Whether any lock entry is in use; false when the set does not exist.
    static void isLockListInUse(bool& inUse);

    void requestSegment(SegmentId segment, LockType type, bool forceRequest = false);
    void requestPage(SegmentId segment, PageId page, LockType type, bool forceRequest = false);
    void requestSlot(SegmentId segment, PageId page, SlotId slot, LockType type, bool forceRequest = false);
    // One attempt only on the object itself (the intention locks may still
    // wait); false when it was not granted.
    bool tryRequestSegment(SegmentId segment, LockType type, bool forceRequest = false);
    bool tryRequestPage(SegmentId segment, PageId page, LockType type, bool forceRequest = false);
    bool tryRequestSlot(SegmentId segment, PageId page, SlotId slot, LockType type, bool forceRequest = false);

    void requestDB(LockType type);
    void releaseDB();

    // Each releases the transaction's newest lock on the object, and for a
    // page or slot one intention lock on each coarser level.
    void releaseSegment(SegmentId segment);
    void releasePage(SegmentId segment, PageId page);
    void releaseSlot(SegmentId segment, PageId page, SlotId slot);
    // Releases every lock this process took for the current transaction.
    void releaseAll();

    // While an object of this class lives, the process's requests serve the
    // undo of a transaction, which must not fail halfway: a request that
    // closes a cycle of waiting transactions waits on instead of failing
    // with MOX_LM_DEADLOCK, and every other transaction on the cycle fails
    // with it at its next attempt, so that it rolls back and gives way.
    // Two undos that wait for each other still end in a time-out.
    class Undoing {
      public:
        Undoing() : manager(*getInstance()) { manager.undoing = true; }
        ~Undoing() { manager.undoing = false; }
        Undoing(const Undoing&) = delete;
        Undoing& operator=(const Undoing&) = delete;

      private:
        MoxLockManager& manager;
    };

    // --- What a dead process left (MoxSystem::recoverDeadTransactions) ---
    // The transactions that hold lock entries, each once, in entry order.
    std::vector<MoxTransactionId> getTransactionsInList();
    // Removes every lock entry and waiting entry of the transaction, whoever
    // inserted them, and returns how many lock entries went. For a
    // transaction whose process is gone, once its changes are undone or
    // committed; entries this process took on its behalf go from its own
    // list too.
    Uint32 releaseAllOf(const MoxTransactionId& transaction);

    // The current transaction's own locks are known in this process: these
    // questions take no latch (unless the process acts for another
    // process's transaction).
    bool existsLock(SegmentId segment, PageId page, SlotId slot);
    // The type of the transaction's newest lock on the object, if any.
    void getLockTypeIfLockExists(bool& exists, LockType& type, SegmentId segment, PageId page, SlotId slot);
    // How many entries the transaction holds on exactly the object: a
    // request that leaves the count as it was added no entry.
    Uint32 countOwnLocks(SegmentId segment, PageId page, SlotId slot);

    void setTransactionId(MoxTransactionId& transactionId) { tempTransId = transactionId; }

    // Diagnostic tables on standard output.
    void printLockList(bool withBuckets);
    void printLockListOfTransaction(MoxTransactionId transaction);
    void printLockListOfCurrentTransaction();
    void printLockListHashMap();
    void printLockListAllTransactions();
    void printWaitList();

    const MoxLockManagerProfiling::Profiler& getProfiler() const { return profiler; }

    // For tests only: the shared list as it is, read without the latch.
    const MoxLockListLayout& TEST_lockList() const { return *layout; }

  private:
    MoxLockManager();

    static MoxLockListLayout* connect();

    // The "LM_STATS" debug command.
    static void printStatistics(const char* argument);

    // The current transaction; a forked child drops the locks it inherited.
    MoxTransactionId currentTransaction();

    // The request with one attempt on the object; false on its time-out.
    bool tryRequest(LockType type, const MoxLockObject& object, bool forceRequest);

    // The waiting entries one request (or one of its intention requests)
    // has recorded, removed when it ends.
    struct RequestWaiting {
        std::vector<Uint32> lockEntries;  // the lock entries waited for
        bool granted = false;
    };

    // True when granted; a try that is refused answers false, any other
    // request that is not granted throws the time-out.
    bool request(LockType type, const MoxLockObject& object, bool forceRequest, bool tryLock);
    // The intention requests and the attempts on the object; false, having
    // done nothing, when the first hold of the latch finds a database lock
    // in force before gateChecked is set. waiting.granted tells the outcome.
    bool requestStages(LockType type, const MoxLockObject& object, const MoxTransactionId& transaction,
                       bool forceRequest, bool tryLock, MoxLockWait& wait, RequestWaiting& waiting, bool& gateChecked);
    // Under the latch: true when the gate was passed in an earlier hold, or
    // no database lock is in force now, which lets the request pass in this
    // hold (gateChecked is set then).
    bool passesGateInThisHold(bool& gateChecked) const;
    // Under the latch, a request that is not granted: takes back its
    // intention locks and its waiting entries.
    void giveUp(const MoxLockObject& object, const MoxTransactionId& transaction, LockType intention,
                RequestWaiting& waiting);
    // Waits while a database lock of another transaction holds the request
    // back; true when the request continues, false when it is granted
    // without an entry. Throws the time-out when the database lock refuses it.
    bool passDatabaseGate(LockType type, const MoxLockObject& object, const MoxTransactionId& transaction,
                          bool forceRequest, bool tryLock, MoxLockWait& wait, RequestWaiting& waiting);
    // Waits until granted; false as requestStages.
    bool requestIntention(LockType intention, const MoxLockObject& object, const MoxTransactionId& transaction,
                          bool& gateChecked);
    bool attemptIntention(LockType intention, const MoxLockObject& object, const MoxTransactionId& transaction,
                          RequestWaiting& waiting);
    // Records that the refused request waits for each holder's lock entry
    // (one of each other transaction that refuses it), where it has no
    // waiting entry for it yet; each new one runs the deadlock detection.
    // A request refused by several shared holders waits for all of them:
    // a cycle through any of them is a deadlock.
    void waitFor(const MoxTransactionId& transaction, const std::vector<Uint32>& holders, RequestWaiting& waiting);
    bool attemptRequest(LockType type, const MoxLockObject& object, const MoxTransactionId& transaction,
                        bool forceRequest, RequestWaiting& waiting);
    // Whether the transaction's lock on object (a segment or page) makes a
    // request below it needless: an exclusive lock always, a shared lock for
    // a shared request while no other transaction holds an intention
    // exclusive lock on object.
    bool isCovered(LockType type, const MoxLockObject& object, const MoxTransactionId& transaction) const;

    // Whether ownLocks holds every entry of the transaction: it does for this
    // process's own transactions, not for a dead process's transaction that
    // it acts for (MoxTransactionManager::actFor), whose entries that
    // process inserted.
    bool knowsAllEntriesOf(const MoxTransactionId& transaction) const;
    // The transaction's newest entry of the type on the object: from
    // ownLocks where it knows them all, else from the list (under the latch).
    Uint32 newestOwnOfType(const MoxTransactionId& transaction, LockType type, const MoxLockObject& object) const;
    Uint32 insertEntry(const MoxTransactionId& transaction, LockType type, const MoxLockObject& object);
    // Deletes a lock entry of this process and every waiting entry that
    // refers to it.
    void removeEntry(Uint32 entry);
    void releaseObject(const MoxLockObject& object);
    // One intention lock on each level above the object, the finer first:
    // the transaction's newest of type first there, else its newest
    // intentional exclusive, else intentional shared one. A request that
    // ends without an entry names its own intention type, so that it takes
    // back just what it added.
    void releaseIntentions(const MoxLockObject& object, const MoxTransactionId& transaction, LockType first);
    void releaseIntention(const MoxLockObject& object, const MoxTransactionId& transaction, LockType first);
    // Removes the request's own waiting entries.
    void forgetWaiting(const MoxTransactionId& transaction, RequestWaiting& waiting);
    void forgetWaitingAfterFailure(const MoxTransactionId& transaction, RequestWaiting& waiting);

    static MoxLockManager* instance;

    MoxLockListLayout* layout;
    MoxLockList list;
    std::set<Uint32> usedEntries;  // lock entries this process inserted and has not released
    MoxOwnLocks ownLocks;          // the same, by object
    MoxTransactionId tempTransId;
    MoxLockManagerProfiling::Profiler profiler;
    pid_t ownerProcess;    // the process whose locks usedEntries holds
    bool undoing = false;  // see Undoing
};

#endif
