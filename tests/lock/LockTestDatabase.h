#ifndef MOX_LOCK_TEST_DATABASE_H
#define MOX_LOCK_TEST_DATABASE_H

#include <vector>

#include "MoxLock.h"
#include "MoxSupport.h"
#include "MoxTransaction.h"
#include "common/TestDatabase.h"

// A started lock list and this process's lock manager. Forked children use
// the manager they inherit, as a transaction of their own.
class LockTestDatabase : public TestDatabase {
  protected:
    typedef MoxLockManager LM;

    void SetUp() override {
        TestDatabase::SetUp();
        MoxLockManager::initializeLockList();
        manager = MoxLockManager::getInstance();
    }

    void TearDown() override {
        if (MoxLockManager::hasInstance()) {
            delete MoxLockManager::getInstance();
        }
        TestDatabase::TearDown();
    }

    const MoxLockListLayout& lockList() const { return manager->TEST_lockList(); }
    Uint32 entryCount() const { return lockList().header.countEntry; }
    bool waitingListEmpty() const { return waitingEntries() == 0; }
    Uint32 waitingEntries() const {
        Uint32 count = 0;
        MoxLockList::walkWaiting(lockList(), [&count](Uint32, const MoxWaitingEntry&) { return ++count != 0; });
        return count;
    }

    // The lock types of the transaction's entries on the object, newest first.
    std::vector<Uint32> typesOf(const MoxTransactionId& transaction, MoxLockObject object) const {
        std::vector<Uint32> types;
        const MoxLockListLayout& layout = lockList();
        for (Uint32 i = layout.header.index[MoxLockList::bucket(object)]; i != LM::LIST_END;
             i = layout.lockEntry[i].nextEntry) {
            const MoxLockEntry& entry = layout.lockEntry[i];
            if (entry.segmentId == object.segment && entry.pageId == object.page && entry.slotId == object.slot &&
                entry.transactionId == transaction) {
                types.push_back(entry.lockType);
            }
        }
        return types;
    }

    static MoxTransactionId self() { return MoxTransactionManager::getInstance()->getCurrentTransactionID(); }

    MoxLockManager* manager = nullptr;
};

#endif
