// Cost of lock requests: an uncontended slot lock against the latch
// operations it performs, and one request as the list fills up.

#include <cstdio>
#include <iostream>

#include "BenchSupport.h"
#include "MoxLock.h"
#include "MoxSupport.h"

namespace {

// Exclusive latch holds of one requestSlot (database gate, two intention
// locks, the slot itself) and of one releaseSlot.
const int latchHoldsPerPair = 5;

// Fills the list with slot locks on distinct objects spread over every
// bucket, three entries (two intentions and the slot) per request.
void fillTo(MoxLockManager* manager, Uint32 entries, Uint32& requests) {
    while (manager->TEST_lockList().header.countEntry + 3 <= entries) {
        manager->requestSlot(static_cast<SegmentId>(20000 + requests % 10), static_cast<PageId>(requests / 10), 0,
                             MoxLockManager::SharedLock);
        ++requests;
    }
}

void run() {
    MoxLockManager::initializeLockList();
    MoxLockManager* manager = MoxLockManager::getInstance();
    MoxLatch& latch = const_cast<MoxLatch&>(manager->TEST_lockList().header.latch);

    const long iterations = 20000;
    double latchOnly = nanosecondsPerCall(iterations, [&] {
        for (int i = 0; i < latchHoldsPerPair; ++i) {
            latch.get(MoxLatch::Exclusive);
            latch.release();
        }
    });
    PageId page = 0;
    auto pair = [&] {
        manager->requestSlot(5, page, 1, MoxLockManager::SharedLock);
        manager->releaseSlot(5, page, 1);
        page = static_cast<PageId>((page + 1) % 1000);
    };
    double empty = nanosecondsPerCall(iterations, pair);
    printRatio("requestSlot + releaseSlot vs. its 5 latch holds", empty, latchOnly);

    Uint32 requests = 0;
    for (Uint32 held : {1000u, 10000u, 70000u}) {
        fillTo(manager, held, requests);
        double cost = nanosecondsPerCall(iterations / 4, pair);
        printRatio("requestSlot + releaseSlot with " + std::to_string(manager->TEST_lockList().header.countEntry) +
                       " entries held vs. empty list",
                   cost, empty);
    }
    delete manager;
}

}  // namespace

int main() {
    MoxError errorObject;
    BenchDatabase database;
    try {
        run();
    } catch (const MoxException& exception) {
        exception.print(std::cerr);
        return 1;
    }
    return 0;
}
