#include <memory>
#include <vector>

#include "MoxBufferManagerTest.h"
#include "common/ChildProcess.h"
#include "common/TestHelpers.h"
#include "support/MoxScopedMemorySet.h"

namespace {

const int waitMilliseconds = 20000;

// Runs in a child: fixes, changes and releases every page of segment 1 in
// rounds, adding 1 to its own counter on each page. The segment has more
// pages than the pool has frames, so the processes steal each other's dirty
// frames all the time.
// Page bytes sit at odd addresses in the pool, so the counters are packed.
struct MOX_PACKED PageCounters {
    Uint32 count[8];
};

int countOnEveryPage(int child, int rounds, PageId pages) {
    MoxBufferManager* manager = MoxBufferManager::getInstance();
    manager->openSegment(1);
    for (int round = 0; round < rounds; ++round) {
        for (PageId pageId = 0; pageId < pages; ++pageId) {
            MoxScopedPage page(1, pageId, MoxPage::DataPage, MoxScopedPage::GetExistingPage);
            PageCounters* counters = reinterpret_cast<PageCounters*>(page->getPageData() + sizeof(MoxPage::PageHeader));
            ++counters->count[child];
            if (page->markAsModified(MoxLsn(2, static_cast<Uint32>(round))) != MOX_SUCCESS) {
                return 2;
            }
        }
    }
    return 0;
}

}  // namespace

TEST_F(MoxBufferManagerTest, ProcessesLoseNoUpdateAndShareTheirCounts) {
    const int children = 3;
    const int rounds = 2;
    const PageId pages = MOX_BM_NUM_PAGES + 100;
    writeSegment(1, pages);
    deleteManagers();

    std::vector<std::unique_ptr<ChildProcess>> workers;
    for (int child = 0; child < children; ++child) {
        workers.push_back(std::make_unique<ChildProcess>([=] { return countOnEveryPage(child, rounds, pages); }));
    }
    for (auto& worker : workers) {
        EXPECT_EQ(worker->wait(120), 0);
    }

    Uint32 requests = children * rounds * pages;
    {
        MoxScopedMemorySet connection(MoxMemoryManager::BufferPool);
        const MoxBufferContent* pool = static_cast<const MoxBufferContent*>(connection.getData());
        EXPECT_EQ(pool->header.logicalReads, requests);
        EXPECT_GE(pool->header.physicalReads, static_cast<Uint32>(pages));
    }

    manager = MoxBufferManager::getInstance();
    manager->openSegment(1);
    for (PageId pageId = 0; pageId < pages; ++pageId) {
        MoxScopedPage page(1, pageId, MoxPage::DataPage, MoxScopedPage::GetExistingPage);
        const PageCounters* counters =
            reinterpret_cast<const PageCounters*>(page->getPageData() + sizeof(MoxPage::PageHeader));
        for (int child = 0; child < children; ++child) {
            ASSERT_EQ(counters->count[child], static_cast<Uint32>(rounds)) << "page " << pageId << " child " << child;
        }
        ASSERT_EQ(page->getLsn(), MoxLsn(2, rounds - 1));
    }
    EXPECT_FLOAT_EQ(manager->getBufferHitRatioAllTransactions(),
                    1.0f - static_cast<float>(shared().physicalReads) / static_cast<float>(shared().logicalReads));
}

TEST_F(MoxBufferManagerTest, StopSeesTheFixOfAnotherProcess) {
    writeSegment(1, 1);
    deleteManagers();
    EventPipe fixed;
    EventPipe release;
    EventPipe released;
    ChildProcess holder([&] {
        MoxBufferManager* manager = MoxBufferManager::getInstance();
        manager->openSegment(1);
        MoxPage* page = nullptr;
        manager->getPage(1, 0, MoxPage::DataPage, page);
        fixed.notify();
        if (!release.waitFor(waitMilliseconds)) {
            return 3;
        }
        manager->releasePage(page);
        released.notify();
        return 0;
    });
    ASSERT_TRUE(fixed.waitFor(waitMilliseconds));
    bool inUse = false;
    MoxBufferManager::haveFixedPages(inUse);
    EXPECT_TRUE(inUse);
    release.notify();
    ASSERT_TRUE(released.waitFor(waitMilliseconds));
    MoxBufferManager::haveFixedPages(inUse);
    EXPECT_FALSE(inUse);
    EXPECT_EQ(holder.wait(), 0);
}

TEST_F(MoxBufferManagerTest, DirtyVictimOfASegmentThisProcessNeverOpenedIsWritten) {
    // Another process leaves a dirty page of its segment 2 in the pool.
    ChildProcess writer([] {
        MoxBufferManager* manager = MoxBufferManager::getInstance();
        manager->createSegment(2);
        manager->openSegment(2);
        MoxPage* page = nullptr;
        manager->getNewPage(2, 0, MoxPage::DataPage, page);
        memcpy(page->getPageData() + sizeof(MoxPage::PageHeader), "from the child", 15);
        manager->releasePage(page);
        manager->commit();
        return 0;
    });
    ASSERT_EQ(writer.wait(), 0);
    ASSERT_NE(resident(2, 0), nullptr);

    // This process fills the pool from its own segment; the child's page is
    // the least recently used one and must be written on the way out.
    manager->createSegment(1);
    manager->openSegment(1);
    for (PageId pageId = 0; pageId < MOX_BM_NUM_PAGES; ++pageId) {
        MoxScopedPage page(1, pageId, MoxPage::DataPage, MoxScopedPage::CreateNewPage);
    }
    EXPECT_EQ(resident(2, 0), nullptr);
    EXPECT_EQ(textIn(filePage(2, 0)), "from the child");
}
