#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "IndexTestDatabase.h"
#include "TestHelpers.h"

namespace {

class MoxIndexInventoryTest : public IndexTestDatabase {
  protected:
    void SetUp() override {
        IndexTestDatabase::SetUp();
        MoxBufferManager::getInstance()->createSegment(segment);
        MoxBufferManager::getInstance()->openSegment(segment);
        fsi->initialize(segment);
    }

    MoxIndexFreeSpaceInventory::PageFormat inventoryPage(PageId page) {
        MoxIndexFreeSpaceInventory::PageFormat copy;
        fsi->getPageData(segment, page, copy);
        return copy;
    }
    std::vector<PageId> entriesOf(PageId page) {
        MoxIndexFreeSpaceInventory::PageFormat copy = inventoryPage(page);
        std::vector<PageId> entries;
        for (Uint16 i = 0; i < copy.numElements; ++i) entries.push_back(copy.pageIds[i]);
        return entries;
    }
    void handOut(PageId upTo) {
        while (fsi->getLastPageId(segment) < upTo) fsi->generateNewPageId(segment);
    }

    const SegmentId segment = segmentOf(index);
    MoxIndexFreeSpaceInventory* fsi = MoxIndexFreeSpaceInventory::getInstance();
};

TEST_F(MoxIndexInventoryTest, PageOneComesFirstAndTheCountFollows) {
    EXPECT_EQ(fsi->getLastPageId(segment), 0);
    std::unique_ptr<MoxIndexTreePage> leaf = fsi->getFreeLeafPage(segment, INTEGER);
    EXPECT_EQ(leaf->pageId(), 1);
    EXPECT_TRUE(leaf->isLeaf());
    EXPECT_TRUE(leaf->empty());
    EXPECT_EQ(fsi->getLastPageId(segment), 1);
    EXPECT_EQ(fsi->getExistingPageId(segment), 0);
    EXPECT_EQ(fsi->generateNewPageId(segment), 2);
    // Allocation locks the page for the transaction.
    EXPECT_TRUE(MoxLockManager::getInstance()->existsLock(segment, 1, MoxLockManager::NO_SLOT));
}

TEST_F(MoxIndexInventoryTest, AFreedPageComesBackEmptyOfTheAskedKind) {
    std::unique_ptr<MoxIndexTreePage> leaf = fsi->getFreeLeafPage(segment, INTEGER);
    handOut(7);
    std::unique_ptr<MoxIndexTreePage> used = fsi->getFreeLeafPage(segment, INTEGER);
    ASSERT_EQ(used->pageId(), 8);
    ASSERT_TRUE(used->insert(MoxIndexKey(3), TupleId{1, 1}));
    used.reset();
    // Page 8 is still in the pool: it is reformatted there.
    fsi->setFreePageId(segment, 8);
    std::unique_ptr<MoxIndexTreePage> node = fsi->getFreeNodePage(segment, INTEGER);
    EXPECT_EQ(node->pageId(), 8);
    EXPECT_FALSE(node->isLeaf());
    EXPECT_TRUE(node->empty());
    EXPECT_EQ(node->getFirstChild(), 0);
    EXPECT_EQ(inventoryPage(0).numElements, 0);
    // Page 7 was never created: it is created now.
    fsi->setFreePageId(segment, 7);
    EXPECT_EQ(fsi->getFreeLeafPage(segment, INTEGER)->pageId(), 7);
    EXPECT_EQ(fsi->getLastPageId(segment), 8);
}

TEST_F(MoxIndexInventoryTest, HolesAreFilledBeforeIdsAreAppended) {
    handOut(9);
    for (PageId page : {3, 4, 5}) fsi->setFreePageId(segment, page);
    fsi->removeFreePageId(segment, 4);
    fsi->removeFreePageId(segment, 9);
    EXPECT_EQ(entriesOf(0), std::vector<PageId>({3, 0, 5}));
    PageId fsiPage = 1;
    Uint32 offset = 0;
    ASSERT_TRUE(fsi->findFreePageId(segment, 5, fsiPage, offset));
    EXPECT_EQ(fsiPage, 0);
    EXPECT_EQ(offset, 2u);
    EXPECT_FALSE(fsi->findFreePageId(segment, 4, fsiPage, offset));
    fsi->setFreePageId(segment, 8);
    EXPECT_EQ(entriesOf(0), std::vector<PageId>({3, 8, 5}));
    // Last in, first out; a hole taken gives 0.
    fsi->removeFreePageId(segment, 5);
    EXPECT_EQ(fsi->getExistingPageId(segment), 0);
    EXPECT_EQ(fsi->getExistingPageId(segment), 8);
    EXPECT_EQ(fsi->getExistingPageId(segment), 3);
    EXPECT_EQ(fsi->getExistingPageId(segment), 0);
}

TEST_F(MoxIndexInventoryTest, AFullPageChainsASecondInventoryPage) {
    const PageId freed = MoxIndexFreeSpaceInventory::maxElements + 1;
    handOut(freed);
    for (PageId page = 1; page <= freed; ++page) fsi->setFreePageId(segment, page);
    MoxIndexFreeSpaceInventory::PageFormat first = inventoryPage(0);
    EXPECT_EQ(first.numElements, MoxIndexFreeSpaceInventory::maxElements);
    EXPECT_EQ(first.nextId, freed + 1);
    EXPECT_EQ(first.lastId, freed + 1);
    EXPECT_EQ(entriesOf(first.nextId), std::vector<PageId>({freed}));
    PageId fsiPage = 0;
    Uint32 offset = 1;
    ASSERT_TRUE(fsi->findFreePageId(segment, freed, fsiPage, offset));
    EXPECT_EQ(fsiPage, first.nextId);
    EXPECT_EQ(offset, 0u);

    EXPECT_EQ(fsi->getExistingPageId(segment), freed);
    EXPECT_EQ(fsi->getExistingPageId(segment), freed - 1);
    fsi->setFreePageId(segment, freed - 1);
    EXPECT_EQ(inventoryPage(0).numElements, MoxIndexFreeSpaceInventory::maxElements);
    EXPECT_EQ(inventoryPage(first.nextId).numElements, 0);
    // The chained page is the inventory's own, never handed out as free.
    std::unique_ptr<MoxIndexTreePage> leaf = fsi->getFreeLeafPage(segment, INTEGER);
    EXPECT_EQ(leaf->pageId(), freed - 1);
}

TEST_F(MoxIndexInventoryTest, PageIdsRunOutWithAnErrorInsteadOfWrapping) {
    {
        MoxScopedPage page(segment, 0, MoxPage::FreeSpaceInventoryPage, MoxScopedPage::GetExistingPage);
        reinterpret_cast<MoxIndexFreeSpaceInventory::PageFormat*>(page->getPageData())->lastId = MOX_MAX_PAGE_ID - 1;
    }
    EXPECT_EQ(fsi->generateNewPageId(segment), MOX_MAX_PAGE_ID);
    EXPECT_TRUE(throwsError([&] { fsi->generateNewPageId(segment); }, MOX_IM_NO_MORE_PAGES, {"1"}));
    EXPECT_TRUE(throwsError([&] { fsi->getFreeLeafPage(segment, INTEGER); }, MOX_IM_NO_MORE_PAGES));
    EXPECT_EQ(fsi->getLastPageId(segment), MOX_MAX_PAGE_ID);
}

TEST_F(MoxIndexInventoryTest, ReservingAPageIdListsTheSkippedOnesAsFree) {
    handOut(3);
    fsi->reservePageId(segment, 6);
    EXPECT_EQ(fsi->getLastPageId(segment), 6);
    EXPECT_EQ(entriesOf(0), std::vector<PageId>({4, 5}));
    fsi->reservePageId(segment, 2);
    EXPECT_EQ(fsi->getLastPageId(segment), 6);
}

TEST_F(MoxIndexInventoryTest, DumpShowsEveryPageOfTheChain) {
    handOut(5);
    fsi->setFreePageId(segment, 4);
    fsi->setFreePageId(segment, 2);
    testing::internal::CaptureStdout();
    fsi->dump(segment, true);
    fsi->dump(segment, 0, false);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string(42, '*') +
                  "\nIndex FSI Page > SegmentId: 32769, PageId: 0, NextId: 0, LastId: 5, numElements: 2\n"
                  "PageId #0: 4\nPageId #1: 2\n" +
                  std::string(42, '*') +
                  "\nIndex FSI Page > SegmentId: 32769, PageId: 0, NextId: 0, LastId: 5, numElements: 2\n");
}

}  // namespace
