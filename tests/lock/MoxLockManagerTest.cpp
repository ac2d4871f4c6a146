#include <sys/time.h>

#include <gtest/gtest.h>

#include "LockTestDatabase.h"
#include "TestHelpers.h"
#include "common/ChildProcess.h"

namespace {

const int childPatience = 30000;

class MoxLockManagerTest : public LockTestDatabase {
  protected:
    // A child that takes a lock with request, tells the parent, and holds it
    // until the parent tells it to end.
    struct Holder {
        EventPipe locked, release;
        std::unique_ptr<ChildProcess> child;
        Holder(const std::function<void(MoxLockManager*)>& request) {
            child = std::make_unique<ChildProcess>([this, request] {
                request(MoxLockManager::getInstance());
                locked.notify();
                return release.waitFor(childPatience) ? 0 : 1;
            });
        }
        int end() {
            release.notify();
            return child->wait();
        }
    };

    static std::vector<Uint32> types(std::initializer_list<Uint32> values) { return values; }
};

TEST_F(MoxLockManagerTest, SlotRequestTakesIntentionsAndReleaseRemovesThemAll) {
    manager->requestSlot(4, 2, 9, LM::SharedLock);
    EXPECT_EQ(entryCount(), 3u);
    EXPECT_EQ(typesOf(self(), {4, LM::NO_PAGE, LM::NO_SLOT}), types({LM::IntentionalSharedLock}));
    EXPECT_EQ(typesOf(self(), {4, 2, LM::NO_SLOT}), types({LM::IntentionalSharedLock}));
    EXPECT_EQ(typesOf(self(), {4, 2, 9}), types({LM::SharedLock}));

    manager->requestSlot(4, 2, 9, LM::SharedLock);
    EXPECT_EQ(entryCount(), 3u) << "a lock held already adds nothing";
    manager->requestSlot(4, 2, 9, LM::SharedLock, true);
    EXPECT_EQ(entryCount(), 6u) << "unless forced";
    manager->releaseSlot(4, 2, 9);
    manager->releaseSlot(4, 2, 9);
    EXPECT_EQ(entryCount(), 0u);
    EXPECT_TRUE(throwsError([&] { manager->releaseSlot(4, 2, 9); }, MOX_LM_NO_SUCH_ENTRY, {"4", "2", "9"}));

    manager->requestPage(4, 2, LM::ExclusiveLock);
    EXPECT_EQ(typesOf(self(), {4, LM::NO_PAGE, LM::NO_SLOT}), types({LM::IntentionalExclusiveLock}));
    EXPECT_TRUE(manager->existsLock(4, 2, LM::NO_SLOT));
    bool exists = false;
    LM::LockType type = LM::SharedLock;
    manager->getLockTypeIfLockExists(exists, type, 4, 2, LM::NO_SLOT);
    EXPECT_TRUE(exists);
    EXPECT_EQ(type, LM::ExclusiveLock);
    manager->requestSlot(4, 2, 1, LM::ExclusiveLock);
    EXPECT_EQ(entryCount(), 2u) << "covered by the page lock";
    manager->releasePage(4, 2);
    EXPECT_EQ(entryCount(), 0u);
    EXPECT_FALSE(manager->existsLock(4, 2, LM::NO_SLOT));

    std::string xml = manager->getProfiler().getXML();
    EXPECT_NE(xml.find("<GetRequestTime unit=\"microseconds\">"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<GetReleaseTime unit=\"microseconds\">"), std::string::npos) << xml;
}

TEST_F(MoxLockManagerTest, ExclusiveSegmentLockCoversPagesAndSlots) {
    manager->requestSegment(8, LM::ExclusiveLock);
    manager->requestPage(8, 3, LM::SharedLock);
    manager->requestSlot(8, 3, 3, LM::ExclusiveLock);
    EXPECT_EQ(entryCount(), 1u);
    EXPECT_TRUE(throwsError([&] { manager->releasePage(8, 3); }, MOX_LM_NO_SUCH_ENTRY, {"8", "3", ""}));
    EXPECT_TRUE(throwsError([&] { manager->releaseSegment(9); }, MOX_LM_NO_SUCH_ENTRY, {"9", "", ""}));
    manager->releaseAll();
    EXPECT_EQ(entryCount(), 0u);
}

TEST_F(MoxLockManagerTest, RequestWithoutANewEntryReleasesItsOwnIntentions) {
    const MoxLockObject segment = {1, LM::NO_PAGE, LM::NO_SLOT};
    const std::vector<Uint32> before = types({LM::IntentionalExclusiveLock, LM::IntentionalSharedLock});
    manager->requestPage(1, 3, LM::SharedLock);
    manager->requestPage(1, 2, LM::ExclusiveLock);
    EXPECT_EQ(typesOf(self(), segment), before);
    manager->requestPage(1, 3, LM::SharedLock);  // held already
    EXPECT_EQ(typesOf(self(), segment), before);

    Holder other([](MoxLockManager* lm) { lm->requestPage(1, 5, MoxLockManager::ExclusiveLock); });
    ASSERT_TRUE(other.locked.waitFor(childPatience));
    EXPECT_FALSE(manager->tryRequestPage(1, 5, LM::SharedLock));
    EXPECT_EQ(typesOf(self(), segment), before);
    EXPECT_EQ(other.end(), 0);
}

TEST_F(MoxLockManagerTest, UpgradeSucceedsOnlyWithoutOtherHolders) {
    manager->requestSlot(2, 2, 2, LM::SharedLock);
    manager->requestSlot(2, 2, 2, LM::ExclusiveLock, true);
    EXPECT_EQ(typesOf(self(), {2, 2, 2}), types({LM::ExclusiveLock, LM::SharedLock}));
    EXPECT_EQ(entryCount(), 6u);
    manager->releaseAll();

    manager->requestSlot(2, 2, 2, LM::SharedLock);
    Holder other([](MoxLockManager* lm) { lm->requestSlot(2, 2, 2, MoxLockManager::SharedLock); });
    ASSERT_TRUE(other.locked.waitFor(childPatience));
    EXPECT_EQ(entryCount(), 6u) << "shared locks of two transactions coexist";
    EXPECT_FALSE(manager->tryRequestSlot(2, 2, 2, LM::ExclusiveLock, true));
    EXPECT_EQ(entryCount(), 6u) << "the failed try leaves nothing behind";
    EXPECT_TRUE(waitingListEmpty());
    EXPECT_EQ(other.end(), 0);
}

TEST_F(MoxLockManagerTest, TryFailsAtOnceAgainstAnExclusiveHolder) {
    Holder other([](MoxLockManager* lm) {
        lm->requestSlot(5, 1, 1, MoxLockManager::ExclusiveLock);
        lm->requestSegment(6, MoxLockManager::ExclusiveLock);
    });
    ASSERT_TRUE(other.locked.waitFor(childPatience));
    Uint32 before = entryCount();
    timeval start, end;
    gettimeofday(&start, nullptr);
    EXPECT_FALSE(manager->tryRequestSlot(5, 1, 1, LM::SharedLock));
    EXPECT_FALSE(manager->tryRequestSegment(6, LM::SharedLock));
    EXPECT_TRUE(manager->tryRequestPage(5, 2, LM::ExclusiveLock)) << "another page is free";
    gettimeofday(&end, nullptr);
    EXPECT_LT(end.tv_sec - start.tv_sec, 2);
    EXPECT_EQ(entryCount(), before + 2);
    EXPECT_TRUE(waitingListEmpty());
    EXPECT_EQ(other.end(), 0);
}

// The one test that waits for the whole time-out; its requesters wait in
// parallel.
TEST_F(MoxLockManagerTest, RequestsAgainstConflictingHoldersTimeOut) {
    manager->requestSlot(1, 2, 3, LM::SharedLock);
    manager->requestSegment(9, LM::ExclusiveLock);
    Holder other([](MoxLockManager* lm) { lm->requestSlot(1, 2, 3, MoxLockManager::SharedLock); });
    ASSERT_TRUE(other.locked.waitFor(childPatience));
    Uint32 before = entryCount();
    EXPECT_EQ(before, 7u);

    // A child that expects request to time out after MOX_LOCK_TIMEOUT
    // seconds with tokens.
    auto timingOut = [](const std::function<void(MoxLockManager*)>& request, const std::vector<std::string>& tokens) {
        return [request, tokens] {
            timeval start, end;
            gettimeofday(&start, nullptr);
            bool timedOut = throwsError([&] { request(MoxLockManager::getInstance()); }, MOX_LM_LOCK_TIME_OUT, tokens);
            gettimeofday(&end, nullptr);
            long seconds = end.tv_sec - start.tv_sec;
            return !timedOut ? 2 : seconds < 19 || seconds > 21 ? 3 : 0;
        };
    };
    ChildProcess exclusive(
        timingOut([](MoxLockManager* lm) { lm->requestSlot(1, 2, 3, MoxLockManager::ExclusiveLock); },
                  {"exclusive", "1", "2", "3"}));
    // A lock request of an intention type is named exclusive, like every
    // type but shared.
    ChildProcess intention(
        timingOut([](MoxLockManager* lm) { lm->requestSegment(9, MoxLockManager::IntentionalSharedLock); },
                  {"exclusive", "9", "", ""}));
    // The exclusive request waits for both shared holders.
    ASSERT_TRUE(waitUntil([&] { return waitingEntries() == 3; }));
    EXPECT_EQ(exclusive.wait(60), 0);
    EXPECT_EQ(intention.wait(60), 0);
    EXPECT_EQ(entryCount(), before) << "no intention entry stays behind";
    EXPECT_TRUE(waitingListEmpty());
    EXPECT_EQ(other.end(), 0);
}

// An exclusive request that shared holders refuse waits for each of them:
// a cycle through any one is a deadlock, also through a holder older than
// the newest.
TEST_F(MoxLockManagerTest, ACycleThroughAnyOfSeveralSharedHoldersGetsDeadlock) {
    manager->requestSlot(1, 1, 1, LM::SharedLock);
    manager->requestSlot(1, 1, 2, LM::ExclusiveLock);
    EventPipe holding;
    ChildProcess older([&] {
        MoxLockManager* lm = MoxLockManager::getInstance();
        lm->requestSlot(1, 1, 1, MoxLockManager::SharedLock);
        holding.notify();
        lm->requestSlot(1, 1, 2, MoxLockManager::ExclusiveLock);  // waits for the parent
        lm->releaseAll();
        return 0;
    });
    ASSERT_TRUE(holding.waitFor(childPatience));
    ASSERT_TRUE(waitUntil([&] { return waitingEntries() == 1; }));
    Holder newest([](MoxLockManager* lm) { lm->requestSlot(1, 1, 1, MoxLockManager::SharedLock); });
    ASSERT_TRUE(newest.locked.waitFor(childPatience));
    EXPECT_TRUE(throwsError([&] { manager->requestSlot(1, 1, 1, LM::ExclusiveLock); }, MOX_LM_DEADLOCK));
    EXPECT_EQ(waitingEntries(), 1u) << "the refused request leaves only the other's waiting entry";
    manager->releaseAll();
    EXPECT_EQ(older.wait(childPatience / 1000), 0);
    EXPECT_EQ(newest.end(), 0);
    EXPECT_TRUE(waitingListEmpty());
}

TEST_F(MoxLockManagerTest, SecondWaiterOfACycleGetsDeadlock) {
    manager->requestSlot(1, 1, 1, LM::ExclusiveLock);
    EventPipe holding, waiting;
    ChildProcess other([&] {
        MoxLockManager* lm = MoxLockManager::getInstance();
        lm->requestSlot(1, 1, 2, MoxLockManager::ExclusiveLock);
        holding.notify();
        lm->requestSlot(1, 1, 1, MoxLockManager::ExclusiveLock);  // waits for the parent
        return lm->TEST_lockList().header.firstUsedWaitingEntry == MoxLockManager::LIST_END_WAITING ? 0 : 2;
    });
    ASSERT_TRUE(holding.waitFor(childPatience));
    ASSERT_TRUE(waitUntil([&] { return !waitingListEmpty(); }));
    EXPECT_TRUE(throwsError([&] { manager->requestSlot(1, 1, 2, LM::ExclusiveLock); }, MOX_LM_DEADLOCK));
    manager->releaseSlot(1, 1, 1);
    EXPECT_EQ(other.wait(childPatience / 1000), 0);
}

// The same cycle closed by an undo, which must not fail halfway: the undo
// waits, and the other transaction gets the deadlock at its next attempt.
TEST_F(MoxLockManagerTest, AnUndoThatClosesACycleWaitsAndTheOtherWaiterGetsDeadlock) {
    manager->requestSlot(1, 1, 1, LM::ExclusiveLock);
    EventPipe holding;
    ChildProcess other([&] {
        MoxLockManager* lm = MoxLockManager::getInstance();
        lm->requestSlot(1, 1, 2, MoxLockManager::ExclusiveLock);
        holding.notify();
        MoxErrorCode code = MOX_SUCCESS;
        try {
            lm->requestSlot(1, 1, 1, MoxLockManager::ExclusiveLock);  // waits for the parent
        } catch (const MoxException& exception) {
            code = exception.getErrorCode();
        }
        lm->releaseAll();
        return code == MOX_LM_DEADLOCK ? 0 : 2;
    });
    ASSERT_TRUE(holding.waitFor(childPatience));
    ASSERT_TRUE(waitUntil([&] { return !waitingListEmpty(); }));
    timeval start = {};
    gettimeofday(&start, nullptr);
    {
        MoxLockManager::Undoing undoing;
        manager->requestSlot(1, 1, 2, LM::ExclusiveLock);
    }
    timeval end = {};
    gettimeofday(&end, nullptr);
    EXPECT_LT(end.tv_sec - start.tv_sec, 5) << "the undo waited for the time-out";
    EXPECT_EQ(other.wait(childPatience / 1000), 0);
    EXPECT_TRUE(waitingListEmpty());
    manager->releaseAll();
}

// Each transaction holds a segment shared and wants a page of the other's
// segment exclusively: both wait in their intention requests, which must
// be recorded, or the cycle is found by nobody and both wait for the
// time-out.
TEST_F(MoxLockManagerTest, CycleOfIntentionWaitsGetsDeadlock) {
    manager->requestSegment(1, LM::SharedLock);
    EventPipe holding;
    ChildProcess other([&] {
        MoxLockManager* lm = MoxLockManager::getInstance();
        lm->requestSegment(2, MoxLockManager::SharedLock);
        holding.notify();
        lm->requestPage(1, 1, MoxLockManager::ExclusiveLock);  // waits for the parent's segment lock
        return 0;
    });
    ASSERT_TRUE(holding.waitFor(childPatience));
    ASSERT_TRUE(waitUntil([&] { return waitingEntries() == 1; }));
    EXPECT_TRUE(throwsError([&] { manager->requestPage(2, 1, LM::ExclusiveLock); }, MOX_LM_DEADLOCK));
    EXPECT_EQ(waitingEntries(), 1u) << "the refused request leaves only the other's waiting entry";
    manager->releaseAll();
    EXPECT_EQ(other.wait(childPatience / 1000), 0);
    EXPECT_TRUE(waitingListEmpty());
}

TEST_F(MoxLockManagerTest, GrantedWaitLeavesNoWaitingEntryBehind) {
    manager->requestSlot(1, 1, 1, LM::ExclusiveLock);
    EventPipe granted, done;
    ChildProcess waiter([&] {
        MoxLockManager::getInstance()->requestSlot(1, 1, 1, MoxLockManager::ExclusiveLock);
        granted.notify();
        return done.waitFor(childPatience) ? 0 : 1;
    });
    ASSERT_TRUE(waitUntil([&] { return !waitingListEmpty(); }));
    manager->releaseSlot(1, 1, 1);
    ASSERT_TRUE(granted.waitFor(childPatience));
    EXPECT_TRUE(waitingListEmpty());
    // A stale entry of the waiter would now point at one of its own entries
    // and close a cycle that does not exist.
    EXPECT_FALSE(manager->tryRequestSlot(1, 1, 1, LM::ExclusiveLock));
    EXPECT_TRUE(waitingListEmpty());
    done.notify();
    EXPECT_EQ(waiter.wait(), 0);
}

TEST_F(MoxLockManagerTest, WaiterThatLosesTheRaceStillTakesPartInDeadlockDetection) {
    manager->requestSlot(1, 1, 1, LM::ExclusiveLock);
    // Each child holds its own slot, waits for the parent's, and then wants
    // the other child's: one of them closes a cycle, the other succeeds.
    auto contender = [](SlotId own, SlotId other, EventPipe& holding) {
        return [own, other, &holding] {
            MoxLockManager* lm = MoxLockManager::getInstance();
            lm->requestSlot(2, 1, own, MoxLockManager::ExclusiveLock);
            holding.notify();
            MoxErrorCode code = MOX_SUCCESS;
            try {
                lm->requestSlot(1, 1, 1, MoxLockManager::ExclusiveLock);
                lm->requestSlot(2, 1, other, MoxLockManager::ExclusiveLock);
            } catch (const MoxException& exception) {
                code = exception.getErrorCode();
            }
            lm->releaseAll();
            return code == MOX_LM_DEADLOCK ? 10 : code == MOX_SUCCESS ? 20 : 30;
        };
    };
    EventPipe firstHolding, secondHolding;
    ChildProcess first(contender(1, 2, firstHolding));
    ChildProcess second(contender(2, 1, secondHolding));
    ASSERT_TRUE(firstHolding.waitFor(childPatience));
    ASSERT_TRUE(secondHolding.waitFor(childPatience));
    ASSERT_TRUE(waitUntil([&] { return waitingEntries() == 2; }));
    manager->releaseSlot(1, 1, 1);
    // Without the loser's new waiting entry both would wait for the time-out.
    int firstCode = first.wait(15);
    int secondCode = second.wait(15);
    EXPECT_EQ(firstCode + secondCode, 30) << firstCode << " " << secondCode;
    EXPECT_NE(firstCode, secondCode);
    EXPECT_TRUE(waitingListEmpty());
}

TEST_F(MoxLockManagerTest, FullListRefusesTheNextEntry) {
    // Another transaction's entries fill the list but for one slot lock.
    MoxLockList list(const_cast<MoxLockListLayout&>(lockList()));
    const MoxTransactionId other(1, 0);
    for (Uint32 i = 0; i < LM::MAX_ENTRY - 3; ++i) {
        list.insertEntry(other, LM::SharedLock, {static_cast<SegmentId>(100 + i % 1000), LM::NO_PAGE, LM::NO_SLOT});
    }
    manager->requestSlot(2, 2, 2, LM::SharedLock);
    EXPECT_EQ(entryCount(), 73056u);
    EXPECT_TRUE(throwsError([&] { manager->requestSegment(9, LM::SharedLock); }, MOX_LM_LOCK_LIST_FULL));
    EXPECT_TRUE(throwsError([&] { manager->requestSlot(2, 2, 2, LM::SharedLock, true); }, MOX_LM_LOCK_LIST_FULL));
    EXPECT_EQ(entryCount(), 73056u);
    manager->releaseSlot(2, 2, 2);
    manager->requestSegment(9, LM::SharedLock);
    EXPECT_EQ(entryCount(), 73054u);
    EXPECT_TRUE(throwsError([&] { manager->releaseSegment(10); }, MOX_LM_NO_SUCH_ENTRY, {"10"}));
}

TEST_F(MoxLockManagerTest, DatabaseLockOfAnotherTransaction) {
    manager->requestDB(LM::ExclusiveLock);
    EXPECT_EQ(lockList().header.dbRequestType, Uint32(LM::DBExclusive));
    manager->requestSegment(3, LM::ExclusiveLock);
    manager->releaseDB();
    EXPECT_EQ(lockList().header.dbRequestType, Uint32(LM::DBNone));
    EXPECT_TRUE(throwsError([&] { manager->releaseDB(); }, MOX_LM_NO_SUCH_ENTRY));
    manager->releaseAll();

    Holder other([](MoxLockManager* lm) { lm->requestDB(MoxLockManager::SharedLock); });
    ASSERT_TRUE(other.locked.waitFor(childPatience));
    EXPECT_EQ(lockList().header.dbRequestType, Uint32(LM::DBShared));
    EXPECT_FALSE(manager->tryRequestSegment(3, LM::ExclusiveLock)) << "held back at the gate";
    EXPECT_TRUE(throwsError([&] { manager->requestSegment(3, LM::SharedLock); }, MOX_LM_LOCK_TIME_OUT,
                            {"shared", "3", "", ""}));
    manager->requestSegment(3, LM::SharedLock, true);
    manager->requestSlot(3, 1, 1, LM::SharedLock, true);
    manager->releaseAll();
    EXPECT_EQ(lockList().header.dbRequestType, Uint32(LM::DBShared)) << "only the database entry resets it";
    EXPECT_TRUE(waitingListEmpty());
    EXPECT_EQ(other.end(), 0);
}

}  // namespace
