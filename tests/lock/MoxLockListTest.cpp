#include <gtest/gtest.h>

#include "LockTestDatabase.h"
#include "TestHelpers.h"
#include "common/ChildProcess.h"
#include "support/MoxDebug.h"

namespace {

const int childPatience = 20000;

class MoxLockListStopTest : public TestDatabase {};

TEST_F(MoxLockListStopTest, NewListChainsEveryEntryIntoItsFreeList) {
    MoxLockManager::initializeLockList();
    MoxLockManager* manager = MoxLockManager::getInstance();
    const MoxLockListLayout& list = manager->TEST_lockList();
    EXPECT_EQ(list.header.countEntry, 0u);
    EXPECT_EQ(list.header.dbRequestType, 0u);
    for (Uint32 bucket = 0; bucket < 100; ++bucket) {
        ASSERT_EQ(list.header.index[bucket], 73057u) << bucket;
    }
    EXPECT_EQ(list.header.index[100], 0u);
    EXPECT_EQ(list.lockEntry[0].prevEntry, 73057u);
    EXPECT_EQ(list.lockEntry[0].nextEntry, 1u);
    EXPECT_EQ(list.lockEntry[500].prevEntry, 499u);
    EXPECT_EQ(list.lockEntry[73056].nextEntry, 73057u);
    EXPECT_EQ(list.header.nextFreeEntry, 0u);
    EXPECT_EQ(list.header.firstUsedWaitingEntry, 101u);
    EXPECT_EQ(list.waitingEntry[0].prevEntry, 101u);
    EXPECT_EQ(list.waitingEntry[100].nextEntry, 101u);
    bool locked = true;
    EXPECT_EQ(const_cast<MoxLatch&>(list.header.latch).isLocked(locked), MOX_SUCCESS);
    EXPECT_FALSE(locked);
    delete manager;
}

TEST_F(MoxLockListStopTest, InUseWhileAnotherProcessHoldsALock) {
    bool inUse = true;
    MoxLockManager::isLockListInUse(inUse);
    EXPECT_FALSE(inUse) << "a missing list is not in use";
    MoxLockManager::initializeLockList();
    MoxLockManager::isLockListInUse(inUse);
    EXPECT_FALSE(inUse);

    EventPipe locked, done;
    ChildProcess holder([&] {
        MoxLockManager::getInstance()->requestSegment(7, MoxLockManager::SharedLock);
        locked.notify();
        return done.waitFor(childPatience) ? 0 : 1;
    });
    ASSERT_TRUE(locked.waitFor(childPatience));
    MoxLockManager::isLockListInUse(inUse);
    EXPECT_TRUE(inUse);
    done.notify();
    EXPECT_EQ(holder.wait(), 0);

    MoxLockManager::destroyLockList();
    MoxLockManager::isLockListInUse(inUse);
    EXPECT_FALSE(inUse);
    EXPECT_NO_THROW(MoxLockManager::destroyLockList()) << "removing a missing list succeeds";
    EXPECT_TRUE(throwsError([] { MoxLockManager::getInstance(); }, MOX_MM_SHM_NOT_EXISTS));
    EXPECT_FALSE(MoxLockManager::hasInstance());
}

TEST_F(MoxLockListStopTest, RemovalWorksWhileThisProcesssManagerIsAttached) {
    MoxLockManager::initializeLockList();
    MoxLockManager* manager = MoxLockManager::getInstance();
    manager->requestSlot(1, 2, 3, MoxLockManager::ExclusiveLock);
    bool inUse = false;
    MoxLockManager::isLockListInUse(inUse);
    EXPECT_TRUE(inUse) << "read through the manager's own mapping";

    MoxLockManager::destroyLockList();
    EXPECT_TRUE(throwsError([&] { manager->releaseAll(); }, MOX_LATCH_SEM_OPERATION_FAIL)) << "its latch is gone";
    EXPECT_NO_THROW(delete manager) << "a failed release at the end is recorded, not thrown";
    EXPECT_FALSE(MoxLockManager::hasInstance());
    EXPECT_TRUE(throwsError([] { MoxLockManager::getInstance(); }, MOX_MM_SHM_NOT_EXISTS))
        << "the set went with the last detach";
}

// A list on the heap: its operations need neither the memory set nor the
// latch.
class MoxLockListChainTest : public ::testing::Test {
  protected:
    void SetUp() override { MoxLockList::initialize(*layout); }

    std::unique_ptr<MoxLockListLayout> layout = std::make_unique<MoxLockListLayout>();
    MoxLockList list{*layout};
    const MoxTransactionId holder{1, 0};
};

TEST_F(MoxLockListChainTest, DamagedChainsEndEverySearch) {
    // Segments 1 and 11 share bucket 10; the chain is 2 -> 1 -> 0.
    const MoxLockObject object = {1, MoxLockManager::NO_PAGE, MoxLockManager::NO_SLOT};
    const MoxLockObject neighbour = {11, MoxLockManager::NO_PAGE, MoxLockManager::NO_SLOT};
    for (int i = 0; i < 3; ++i) {
        list.insertEntry(holder, MoxLockManager::SharedLock, object);
    }
    ASSERT_EQ(layout->header.index[10], 2u);
    EXPECT_EQ(list.existsEntry(object), 2u) << "an entry alone or at the end is no damage";

    auto searchesEnd = [&] {
        return list.existsEntry(neighbour) == MoxLockManager::LIST_END &&
               !list.existsLockForTransaction(MoxTransactionId(2, 0)) && !list.existsExclusiveLock();
    };
    layout->lockEntry[0].nextEntry = 2;  // a cycle of three
    EXPECT_TRUE(searchesEnd());
    layout->lockEntry[0].nextEntry = 500000;
    EXPECT_TRUE(searchesEnd());
    layout->header.index[10] = 90000;
    EXPECT_TRUE(searchesEnd());

    layout->header.index[MOX_LOCK_FREE_HEAD] = MoxLockManager::LIST_END;
    EXPECT_TRUE(
        throwsError([&] { list.insertEntry(holder, MoxLockManager::SharedLock, neighbour); }, MOX_LM_LOCK_LIST_FULL))
        << "a free list without an entry holds no space";
}

TEST_F(MoxLockListChainTest, WaitingListFullOrDamaged) {
    Uint32 held = list.insertEntry(holder, MoxLockManager::ExclusiveLock, {1, 1, 1});
    for (int waiter = 0; waiter < 100; ++waiter) {
        list.insertWaitingEntry(MoxTransactionId(100 + waiter, 0), held);
    }
    EXPECT_TRUE(throwsError([&] { list.insertWaitingEntry(MoxTransactionId(99, 0), held); }, MOX_LM_LOCK_LIST_FULL));
    EXPECT_TRUE(list.deleteWaitingEntry(held));
    list.insertWaitingEntry(MoxTransactionId(99, 0), held);
    EXPECT_EQ(layout->header.nextFreeEntry, 100u);

    auto searchesEnd = [&] {
        return !list.existsWaitingEntry(holder, held) && !list.deleteWaitingEntry(held + 1) &&
               !list.checkWaitingListForDeadlock();
    };
    Uint32 newest = layout->header.firstUsedWaitingEntry;
    Uint32 oldest = layout->waitingEntry[layout->waitingEntry[newest].prevEntry].prevEntry;
    layout->waitingEntry[oldest].prevEntry = newest;  // a cycle
    EXPECT_TRUE(searchesEnd());
    layout->waitingEntry[oldest].prevEntry = 5000;
    EXPECT_TRUE(searchesEnd());
    layout->waitingEntry[newest].indexOfLockEntry = 999999;
    EXPECT_TRUE(searchesEnd());
    layout->header.firstUsedWaitingEntry = 4000;
    EXPECT_TRUE(searchesEnd());

    list.deleteWaitingEntry(MoxTransactionId(99, 0), held);
    layout->header.nextFreeEntry = 150;
    EXPECT_TRUE(throwsError([&] { list.insertWaitingEntry(MoxTransactionId(99, 0), held); }, MOX_LM_LOCK_LIST_FULL));
}

class MoxLockListPrintTest : public LockTestDatabase {
  protected:
    std::string captured(const std::function<void()>& print) {
        fflush(stdout);
        testing::internal::CaptureStdout();
        print();
        return testing::internal::GetCapturedStdout();
    }

    static std::string entryTable(const std::string& rows) {
        return "|Entry|locktype    |transaction id|segment id|page id|slot id|prev entry|next entry|\n"
               "|=====|============|==============|==========|=======|=======|==========|==========|\n" +
               rows;
    }
};

TEST_F(MoxLockListPrintTest, TablesOfASmallList) {
    manager->requestSlot(3, 4, 5, LM::SharedLock);  // entries 0 (segment), 1 (page), 2 (slot)
    char id[15];
    snprintf(id, sizeof(id), "%14s", self().dump().c_str());
    const std::string rows = std::string("|    0|   IntShared|") + id +
                             "|         3|  65535|    255|     <end>|     <end>|\n"
                             "|    1|   IntShared|" +
                             id +
                             "|         3|      4|    255|         2|     <end>|\n"
                             "|    2|      Shared|" +
                             id + "|         3|      4|      5|     <end>|         1|\n";
    EXPECT_EQ(captured([&] { manager->printLockListAllTransactions(); }), entryTable(rows));
    EXPECT_EQ(captured([&] { manager->printLockListOfCurrentTransaction(); }), entryTable(rows));
    EXPECT_EQ(captured([&] { manager->printLockListOfTransaction(MoxTransactionId(1, 0)); }), entryTable(""));

    std::string buckets = "header->latch: " + std::to_string(lockList().header.latch.getSemaphoreId()) +
                          "\nheader->countEntry: 3\n|bucket|link to list|\n|======|============|\n";
    for (int bucket = 0; bucket < 100; ++bucket) {
        char row[32];
        snprintf(row, sizeof(row), "|%6d|%12s|\n", bucket, bucket == 30 ? "0" : bucket == 39 ? "2" : " <end>");
        buckets += row;
    }
    EXPECT_EQ(captured([&] { manager->printLockListHashMap(); }), buckets);
    EXPECT_EQ(captured([&] { manager->printLockList(true); }),
              "=========\nLockListe\n=========\n" + buckets + entryTable(rows));
    EXPECT_EQ(captured([&] { manager->printLockList(false); }), "=========\nLockListe\n=========\n" + entryTable(rows));
}

TEST_F(MoxLockListPrintTest, WaitingListAndTheDebugCommand) {
    manager->requestSlot(1, 1, 1, LM::ExclusiveLock);  // entries 0, 1, 2
    EventPipe waiting;
    ChildProcess waiter([&] {
        waiting.notify();
        MoxLockManager::getInstance()->requestSlot(1, 1, 1, MoxLockManager::SharedLock);
        return 0;
    });
    ASSERT_TRUE(waiting.waitFor(childPatience));
    ASSERT_TRUE(waitUntil([&] { return !waitingListEmpty(); }));
    char row[80];
    snprintf(row, sizeof(row), "|    0|%9s|             2|    <end>|    <end>|\n",
             MoxTransactionId(waiter.pid(), 0).dump().c_str());
    const std::string table = std::string(
                                  "|index|waitTrans|indexlockentry|preventry|nextentry|\n"
                                  "|=====|=========|==============|=========|=========|\n") +
                              row;
    EXPECT_EQ(captured([&] { manager->printWaitList(); }), table);

    mox_dbgfunc* command = nullptr;
    for (const MoxDebugData& data : MoxDebug::getFunctions()) {
        if (std::string(data.name) == "LM_STATS") {
            command = data.func;
            break;
        }
    }
    ASSERT_NE(command, nullptr);
    EXPECT_EQ(captured([&] { command("waitinglist"); }), table);
    std::string all = captured([&] { manager->printLockListAllTransactions(); });
    EXPECT_EQ(captured([&] { command(""); }), all);
    EXPECT_EQ(captured([&] { command("all transactions"); }), all);
    EXPECT_EQ(captured([&] { command("current transaction"); }),
              captured([&] { manager->printLockListOfCurrentTransaction(); }));
    EXPECT_NE(all, captured([&] { manager->printLockListOfCurrentTransaction(); })) << "the waiter's intentions";
    EXPECT_EQ(captured([&] { command("hashmap"); }), captured([&] { manager->printLockListHashMap(); }));

    manager->releaseSlot(1, 1, 1);
    EXPECT_EQ(waiter.wait(), 0);
}

}  // namespace
