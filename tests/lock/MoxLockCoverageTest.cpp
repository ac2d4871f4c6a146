#include <gtest/gtest.h>

#include "LockTestDatabase.h"
#include "TestHelpers.h"
#include "common/ChildProcess.h"

// A shared page or segment lock covers the rows below it only where no other
// transaction may be changing them: another transaction's intention
// exclusive lock there means its row locks must be looked at.

namespace {

const int childPatience = 30000;

class MoxLockCoverageTest : public LockTestDatabase {
  protected:
    static std::vector<Uint32> types(std::initializer_list<Uint32> values) { return values; }
};

// The parent scans, the child writes: every step of each must wait for, or
// be refused by, the other's row lock, while a shared scan lock still
// coexists with the writer's intention locks.
TEST_F(MoxLockCoverageTest, RowLocksUnderAScanLockAreRespectedBothWays) {
    EventPipe locked, readerHasRow, rewritten;
    ChildProcess writer([&] {
        MoxLockManager* lm = MoxLockManager::getInstance();
        lm->requestSlot(4, 1, 1, LM::ExclusiveLock);
        lm->requestSlot(4, 1, 2, LM::ExclusiveLock);
        lm->requestSlot(7, 2, 1, LM::ExclusiveLock);
        lm->requestPage(7, 3, LM::ExclusiveLock);
        locked.notify();
        // Lets the row go once the reader waits for it.
        if (!waitUntil([lm] { return lm->TEST_lockList().header.firstUsedWaitingEntry != LM::LIST_END_WAITING; }))
            return 2;
        lm->releaseSlot(4, 1, 1);
        if (!readerHasRow.waitFor(childPatience)) return 3;
        // Its intention lock on the page stays (row 2): only the reader's
        // own row lock can stop it now.
        if (lm->tryRequestSlot(4, 1, 1, LM::ExclusiveLock)) return 4;
        lm->requestSlot(4, 1, 1, LM::ExclusiveLock);
        rewritten.notify();
        return 0;
    });
    ASSERT_TRUE(locked.waitFor(childPatience));

    manager->requestPage(4, 1, LM::SharedLock);
    EXPECT_FALSE(manager->tryRequestSlot(4, 1, 1, LM::SharedLock)) << "a row being written";
    EXPECT_TRUE(manager->tryRequestSlot(4, 1, 3, LM::SharedLock));
    EXPECT_EQ(typesOf(self(), {4, 1, 3}), types({LM::SharedLock})) << "recorded, for writers to see";

    manager->requestSegment(7, LM::SharedLock);
    EXPECT_FALSE(manager->tryRequestSlot(7, 2, 1, LM::SharedLock));
    EXPECT_FALSE(manager->tryRequestPage(7, 3, LM::SharedLock)) << "a page being written";
    EXPECT_TRUE(manager->tryRequestSlot(7, 2, 2, LM::SharedLock));
    EXPECT_EQ(typesOf(self(), {7, 2, 2}), types({LM::SharedLock}));

    manager->requestSlot(4, 1, 1, LM::SharedLock);  // waits for the writer's release
    EXPECT_EQ(typesOf(self(), {4, 1, 1}), types({LM::SharedLock}));
    EXPECT_TRUE(waitingListEmpty());
    readerHasRow.notify();
    ASSERT_TRUE(waitUntil([&] { return !waitingListEmpty(); })) << "the writer waits for the reader's row";
    EXPECT_FALSE(rewritten.waitFor(0));
    manager->releaseAll();
    EXPECT_TRUE(rewritten.waitFor(childPatience));
    EXPECT_EQ(writer.wait(), 0);
}

// Where nobody else holds an intention exclusive lock, covered requests
// still add no entry, and an exclusive lock covers whatever others hold
// elsewhere.
TEST_F(MoxLockCoverageTest, CoverageIsUnchangedWithoutAnotherWriterBelow) {
    EventPipe locked, done;
    ChildProcess other([&] {
        MoxLockManager* lm = MoxLockManager::getInstance();
        lm->requestSlot(5, 1, 1, LM::SharedLock);     // a reader below the scan
        lm->requestSlot(8, 2, 1, LM::ExclusiveLock);  // a writer on another page
        locked.notify();
        return done.waitFor(childPatience) ? 0 : 1;
    });
    ASSERT_TRUE(locked.waitFor(childPatience));
    Uint32 before = entryCount();

    manager->requestPage(5, 1, LM::SharedLock);
    manager->requestSegment(6, LM::SharedLock);
    manager->requestPage(8, 1, LM::ExclusiveLock);
    EXPECT_EQ(entryCount(), before + 5);
    manager->requestSlot(5, 1, 1, LM::SharedLock);
    manager->requestSlot(5, 1, 2, LM::SharedLock);
    manager->requestPage(6, 1, LM::SharedLock);
    manager->requestSlot(6, 1, 1, LM::SharedLock);
    manager->requestSlot(8, 1, 1, LM::ExclusiveLock);
    manager->requestSlot(8, 1, 2, LM::SharedLock);
    EXPECT_EQ(entryCount(), before + 5) << "all covered";
    manager->releaseAll();
    EXPECT_EQ(entryCount(), before);
    done.notify();
    EXPECT_EQ(other.wait(), 0);
}

}  // namespace
