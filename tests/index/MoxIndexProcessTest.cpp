#include <gtest/gtest.h>

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "IndexTestDatabase.h"
#include "clp/MoxSystem.h"
#include "common/ChildProcess.h"

namespace {

// Each rollback reads the whole log, which grows with the keys.
const int keysPerProcess = optimisedBuild ? 3000 : 500;
const int keysPerTransaction = 8;

// How often the transactions of one process failed, by cause.
struct Failures {
    Uint32 deadlocks = 0;
    Uint32 timeOuts = 0;
    Uint32 committed = 0;
};

class MoxIndexProcessTest : public IndexTestDatabase {
  protected:
    // Inserts the keys in small transactions; a transaction that fails on
    // a deadlock or a lock time-out is rolled back and run again. Any other failure ends the process with code 2.
    static int insertAll(const std::vector<Sint32>& keys, Failures& failures) {
        MoxIndexBTree tree;
        tree.openTree(index, INTEGER, false);
        MoxBufferManager::getInstance()->openSegment(segmentOf(index));
        for (size_t first = 0; first < keys.size(); first += keysPerTransaction) {
            size_t last = std::min(keys.size(), first + keysPerTransaction);
            while (!runTransaction(tree, keys, first, last, failures)) {
                rollback();
                // Gives the other process the processor to finish the
                // transaction that stood in the way.
                sched_yield();
            }
            commit();
            ++failures.committed;
        }
        return 0;
    }

    static bool runTransaction(MoxIndexBTree& tree, const std::vector<Sint32>& keys, size_t first, size_t last,
                               Failures& failures) {
        try {
            for (size_t i = first; i < last; ++i) {
                TupleId tupleId{static_cast<PageId>(keys[i] / 100 + 1), static_cast<SlotId>(keys[i] % 100)};
                if (tree.insertKey(MoxIndexKey(keys[i]), tupleId) != MOX_SUCCESS) _exit(2);
            }
            return true;
        } catch (const MoxException& exception) {
            if (exception.getErrorCode() == MOX_LM_DEADLOCK) {
                ++failures.deadlocks;
            } else if (exception.getErrorCode() == MOX_LM_LOCK_TIME_OUT) {
                ++failures.timeOuts;
            } else {
                exception.print(std::cerr);
                _exit(2);
            }
            return false;
        }
    }
};

TEST_F(MoxIndexProcessTest, TwoProcessesInsertEveryKeyExactlyOnce) {
    createIndex(index);
    MoxSystem::stopAllManagers();
    // The processes take the even and the odd keys of one range, each in
    // its own random order, so that they meet in the same leaves.
    std::vector<Sint32> keys[2];
    for (Sint32 key = 0; key < 2 * keysPerProcess; ++key) keys[key % 2].push_back(key);
    int reports[2][2];
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int process = 0; process < 2; ++process) {
        std::shuffle(keys[process].begin(), keys[process].end(), std::mt19937(process + 1));
        ASSERT_EQ(pipe(reports[process]), 0);
        children.push_back(std::make_unique<ChildProcess>([&, process] {
            Failures failures;
            int rc = insertAll(keys[process], failures);
            bool sent = write(reports[process][1], &failures, sizeof(failures)) == sizeof(failures);
            MoxSystem::stopAllManagers();
            return sent ? rc : 3;
        }));
    }
    Failures total;
    for (int process = 0; process < 2; ++process) {
        EXPECT_EQ(children[process]->wait(240), 0) << "process " << process;
        Failures failures;
        ASSERT_EQ(read(reports[process][0], &failures, sizeof(failures)), static_cast<ssize_t>(sizeof(failures)));
        close(reports[process][0]);
        close(reports[process][1]);
        EXPECT_EQ(failures.committed,
                  static_cast<Uint32>((keysPerProcess + keysPerTransaction - 1) / keysPerTransaction));
        printf("process %d: %u deadlocks, %u lock time-outs, %u transactions\n", process, failures.deadlocks,
               failures.timeOuts, failures.committed);
    }

    // Failed transactions released every page they had fixed.
    bool fixed = true;
    MoxBufferManager::haveFixedPages(fixed);
    EXPECT_FALSE(fixed);
    MoxBufferManager::getInstance()->openSegment(segmentOf(index));
    MoxIndexTreeChecker checker = treeChecker(segmentOf(index), INTEGER);
    ASSERT_TRUE(sound(checker.check()));
    std::vector<Sint32> found;
    for (const IndexEntry& entry : checker.entries()) {
        found.push_back(entry.key.intKey);
        EXPECT_TRUE(entry.tupleId == (TupleId{static_cast<PageId>(entry.key.intKey / 100 + 1),
                                              static_cast<SlotId>(entry.key.intKey % 100)}));
    }
    ASSERT_EQ(found.size(), static_cast<size_t>(2 * keysPerProcess));
    for (Sint32 key = 0; key < 2 * keysPerProcess; ++key) EXPECT_EQ(found[key], key);
}

}  // namespace
