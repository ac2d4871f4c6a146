#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "RecordTestDatabase.h"
#include "common/ChildProcess.h"

namespace {

const TableId table = 9;
const int patienceMilliseconds = 30000;

class MoxRecordProcessTest : public RecordTestDatabase {
  protected:
    // Record i of a child: its length varies from 1 to about 3800 bytes, so
    // that the children fill and append pages all the time.
    static std::string recordOf(int child, int i) {
        return content("child" + std::to_string(child), i, 1 + (i * 997 + child * 331) % 3800);
    }
};

// Several processes insert into one table at once, each in one long
// transaction that commits only when all have inserted everything: none may
// wait for another's commit. Afterwards every record is there once, no two
// share a TupleId, and no page is over-full.
TEST_F(MoxRecordProcessTest, ConcurrentInsertersNeverWaitForEachOther) {
    createTable(table);
    const int children = 4;
    const int perChild = 150;
    EventPipe inserted;
    std::vector<std::unique_ptr<EventPipe>> mayCommit;
    for (int child = 0; child < children; ++child) mayCommit.push_back(std::make_unique<EventPipe>());

    std::vector<std::unique_ptr<ChildProcess>> workers;
    for (int child = 0; child < children; ++child) {
        EventPipe& go = *mayCommit[child];
        workers.push_back(std::make_unique<ChildProcess>([&, child] {
            try {
                for (int i = 0; i < perChild; ++i) insert(table, recordOf(child, i));
                inserted.notify();
                if (!go.waitFor(patienceMilliseconds)) return 3;
                commit();
            } catch (const MoxException& exception) {
                std::cerr << "child " << child << " failed:";
                exception.print(std::cerr);
                return 2;
            }
            return 0;
        }));
    }
    int arrived = 0;
    while (arrived < children && inserted.waitFor(patienceMilliseconds)) ++arrived;
    EXPECT_EQ(arrived, children) << "an inserter waited for another transaction";
    for (auto& go : mayCommit) go->notify();
    for (auto& worker : workers) EXPECT_EQ(worker->wait(120), 0);

    std::map<std::string, int> expected;
    for (int child = 0; child < children; ++child) {
        for (int i = 0; i < perChild; ++i) expected[recordOf(child, i)] += 1;
    }
    std::set<std::pair<PageId, SlotId>> places;
    MoxRecordIterator* raw = nullptr;
    manager->getRecordIterator(table, raw);
    std::unique_ptr<MoxRecordIterator> scan(raw);
    MoxRecord* result = nullptr;
    while (scan->getNext(result) == MOX_SUCCESS) {
        EXPECT_TRUE(places.insert({result->getTupleId()->page, result->getTupleId()->slot}).second);
        auto found = expected.find(bytesOf(*result));
        ASSERT_NE(found, expected.end()) << "a record nobody inserted";
        ASSERT_EQ(found->second, 1) << "a record found twice";
        found->second = 0;
    }
    delete result;
    EXPECT_EQ(places.size(), static_cast<size_t>(children * perChild));
    EXPECT_GT(places.rbegin()->first, 255) << "the appends crossed into the second inventory range";
    commit();
    EXPECT_EQ(problemsOf(table), std::vector<std::string>());
}

// The inventory search only tries the entries: a page whose entry another
// transaction holds is passed over at once, and chosen again once it is free.
TEST_F(MoxRecordProcessTest, AnInsertPassesOverAPageWhoseEntryAnotherTransactionHolds) {
    createTable(table);
    insert(table, "first");
    commit();
    EventPipe locked;
    EventPipe release;
    ChildProcess holder([&] {
        MoxLockManager::getInstance()->requestSlot(table, 0, 0, LM::ExclusiveLock);
        locked.notify();
        const bool released = release.waitFor(patienceMilliseconds);
        MoxLockManager::getInstance()->releaseAll();
        return released ? 0 : 3;
    });
    ASSERT_TRUE(locked.waitFor(patienceMilliseconds));
    TupleId second = insert(table, "second");
    EXPECT_EQ(second.page, 2);
    commit();
    release.notify();
    EXPECT_EQ(holder.wait(), 0);
    TupleId third = insert(table, "third");
    EXPECT_EQ(third.page, 1);
    EXPECT_EQ(third.slot, 1);
    commit();
}

}  // namespace
