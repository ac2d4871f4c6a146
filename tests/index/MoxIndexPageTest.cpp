#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "IndexTestDatabase.h"
#include "TestHelpers.h"

namespace {

typedef MoxIndexTreePage Page;

class MoxIndexPageTest : public IndexTestDatabase {
  protected:
    void SetUp() override {
        IndexTestDatabase::SetUp();
        tree = createIndex(index);
    }

    static SegmentId segment() { return segmentOf(index); }
    static std::unique_ptr<Page> page(PageId id) { return Page::get(segment(), id, INTEGER); }
    static std::vector<Sint32> valuesOf(const Page& page) {
        std::vector<Sint32> values;
        for (Uint16 i = 0; i < page.numElements(); ++i) values.push_back(page.getValueAt(i).intKey);
        return values;
    }
    static std::string bytesOf(PageId id) {
        MoxScopedPage fixed(segment(), id, MoxPage::BTreeIndexPage, MoxScopedPage::GetExistingPage);
        return std::string(reinterpret_cast<const char*>(fixed->getPageData()), MOX_PAGE_SIZE);
    }
    // The index entries of the log, oldest first.
    static std::vector<MoxIndexLogEntry> pageEntries() {
        MoxRecovery recovery;
        recovery.AnalyseLog(MoxRecovery::INDEX);
        std::vector<MoxIndexLogEntry> entries;
        for (int i = 0; i < recovery.getIndexRedoListLength(); ++i) {
            if (recovery.getIndexRedoList()[i].getPageID() != nullptr)
                entries.push_back(recovery.getIndexRedoList()[i]);
        }
        return entries;
    }
    static bool isFree(PageId id) {
        PageId fsiPage = 0;
        Uint32 offset = 0;
        return MoxIndexFreeSpaceInventory::getInstance()->findFreePageId(segment(), id, fsiPage, offset);
    }

    std::unique_ptr<MoxIndexBTree> tree;
};

TEST_F(MoxIndexPageTest, LeafKeepsItsEntriesInOrderEqualKeysNewestFirst) {
    std::unique_ptr<Page> leaf = page(1);
    const Sint32 keys[] = {5, 3, 7, 3};
    for (Sint32 i = 0; i < 4; ++i) {
        ASSERT_TRUE(leaf->insert(MoxIndexKey(keys[i]), TupleId{static_cast<PageId>(10 + i), 1}));
    }
    EXPECT_EQ(valuesOf(*leaf), std::vector<Sint32>({3, 3, 5, 7}));
    EXPECT_TRUE(leaf->getTupleAt(0) == (TupleId{13, 1}));
    EXPECT_TRUE(leaf->getTupleAt(1) == (TupleId{11, 1}));
    EXPECT_EQ(leaf->findKeyPosition(MoxIndexKey(5)), 2);
    EXPECT_EQ(leaf->findKeyPosition(MoxIndexKey(4)), 65535);
    EXPECT_TRUE(leaf->getTupleAt(4) == TupleId{});
    EXPECT_TRUE(throwsError([&] { leaf->getValueAt(4); }, MOX_PARAMETER_FAIL));
    TupleId found;
    ASSERT_TRUE(leaf->findTuple(MoxIndexKey(3), found));
    EXPECT_TRUE(found == (TupleId{13, 1}));
    EXPECT_FALSE(leaf->findTuple(MoxIndexKey(6), found));
    EXPECT_EQ(leaf->spaceLeft(), 505);
    EXPECT_EQ(leaf->getLastValue().intKey, 7);
    EXPECT_EQ(leaf->findKey(MoxIndexKey(3)), nullptr);
    EXPECT_FALSE(leaf->insert(1, MoxIndexKey(3), 2));
}

TEST_F(MoxIndexPageTest, EveryChangeIsLoggedAsTheWholePageBeforeAndAfter) {
    std::string before = bytesOf(1);
    size_t logged = pageEntries().size();
    ASSERT_TRUE(page(1)->insert(MoxIndexKey(9), TupleId{4, 2}));
    std::string after = bytesOf(1);
    std::vector<MoxIndexLogEntry> entries = pageEntries();
    ASSERT_EQ(entries.size(), logged + 1);
    const MoxIndexLogEntry& entry = entries.back();
    EXPECT_EQ(entry.getTransactionType(), MoxAbstractLogEntry::INTEGER_OPERATION);
    EXPECT_EQ(*entry.getPageID(), 1);
    EXPECT_EQ(entry.getSegmentID(), segment());
    EXPECT_EQ(std::string(entry.getBeforePage(), entry.getBpl()), before);
    // The page carries the entry's LSN; the logged after image the one before.
    std::string loggedAfter(entry.getAfterPage(), entry.getApl());
    EXPECT_EQ(loggedAfter.substr(16), after.substr(16));
    EXPECT_EQ(page(1)->getDataType(), INTEGER);
    MoxScopedPage fixed(segment(), 1, MoxPage::BTreeIndexPage, MoxScopedPage::GetExistingPage);
    EXPECT_EQ(fixed->getLsn(), entry.getLsn());
    // A link set to what it is writes nothing.
    page(1)->setNextId(0);
    EXPECT_EQ(pageEntries().size(), logged + 1);
}

TEST_F(MoxIndexPageTest, FullLeafRefusesAndSplitsIntoTheLowerAndUpperHalf) {
    std::unique_ptr<Page> leaf = page(1);
    for (Sint32 key = 0; key < 509; ++key) {
        ASSERT_TRUE(leaf->insert(MoxIndexKey(key / 2), TupleId{static_cast<PageId>(key + 1), 0}));
    }
    ASSERT_TRUE(leaf->isFull());
    std::string full = bytesOf(1);
    EXPECT_FALSE(leaf->insert(MoxIndexKey(3), TupleId{1, 1}));
    EXPECT_EQ(bytesOf(1), full);

    MoxIndexKey separator;
    std::unique_ptr<Page> upper = leaf->split(separator);
    EXPECT_EQ(leaf->numElements(), 254);
    EXPECT_EQ(upper->numElements(), 255);
    EXPECT_EQ(separator.intKey, leaf->getLastValue().intKey);
    EXPECT_GE(upper->getValueAt(0).intKey, separator.intKey);
    EXPECT_EQ(upper->getLastValue().intKey, 254);
    // The two 127s stood newest first (256, 255); moved one by one, each in
    // front of its equals, they now stand the other way round.
    EXPECT_EQ(leaf->getValueAt(253).intKey, 126);
    EXPECT_EQ(upper->getValueAt(0).intKey, 127);
    EXPECT_TRUE(upper->getTupleAt(0) == (TupleId{255, 0}));
    EXPECT_TRUE(upper->getTupleAt(1) == (TupleId{256, 0}));
}

TEST_F(MoxIndexPageTest, DeletingWithATupleIdRemovesExactlyThatEntry) {
    std::unique_ptr<Page> leaf = page(1);
    for (PageId tuple = 1; tuple <= 4; ++tuple) ASSERT_TRUE(leaf->insert(MoxIndexKey(8), TupleId{tuple, 3}));
    ASSERT_TRUE(leaf->insert(MoxIndexKey(9), TupleId{9, 3}));
    // Newest first: the third of the four holds TupleId (2, 3).
    TupleId third = leaf->getTupleAt(2);
    ASSERT_TRUE(third == (TupleId{2, 3}));
    TupleId absent{2, 4};
    EXPECT_EQ(leaf->deleteKey(MoxIndexKey(8), &absent), 0u);
    EXPECT_EQ(leaf->deleteKey(MoxIndexKey(8), &third), 1u);
    ASSERT_EQ(leaf->numElements(), 4);
    for (Uint16 i = 0; i < 3; ++i) EXPECT_FALSE(leaf->getTupleAt(i) == third);
    EXPECT_EQ(leaf->deleteKey(MoxIndexKey(8), nullptr), 3u);
    EXPECT_EQ(valuesOf(*leaf), std::vector<Sint32>({9}));
    EXPECT_EQ(leaf->deleteKey(MoxIndexKey(8), nullptr), 0u);
}

TEST_F(MoxIndexPageTest, NodeHoldsAtMost508SeparatorsBesideTheirChildren) {
    std::unique_ptr<Page> node = MoxIndexFreeSpaceInventory::getInstance()->getFreeNodePage(segment(), INTEGER);
    EXPECT_FALSE(node->isLeaf());
    EXPECT_EQ(node->spaceLeft(), 508);
    EXPECT_FALSE(node->insert(MoxIndexKey(1), TupleId{1, 1}));
    // An empty node takes its first separator by value and both children.
    ASSERT_TRUE(node->insert(100, MoxIndexKey(0), 101));
    for (Sint32 i = 1; i < 508; ++i) {
        ASSERT_TRUE(node->insert(static_cast<PageId>(100 + i), MoxIndexKey(i), static_cast<PageId>(101 + i)));
    }
    EXPECT_TRUE(node->isFull());
    EXPECT_FALSE(node->insert(607, MoxIndexKey(508), 609));
    EXPECT_EQ(node->getFirstChild(), 100);
    EXPECT_EQ(node->getLastChild(), 608);
    EXPECT_EQ(node->getChildAt(508), 0);
    EXPECT_TRUE(node->getTupleAt(0) == TupleId{});
    ASSERT_NE(node->findKey(MoxIndexKey(7)), nullptr);
    EXPECT_EQ(node->findKeyPosition(MoxIndexKey(7)), 7);
    EXPECT_EQ(node->deleteKey(MoxIndexKey(7), nullptr), 1u);
    EXPECT_EQ(node->findKey(MoxIndexKey(7)), nullptr);
    // A separator goes right of the child that split, also among equals.
    ASSERT_TRUE(node->insert(104, MoxIndexKey(4), 900));
    EXPECT_EQ(node->getValueAt(4).intKey, 4);
    EXPECT_EQ(node->getChildAt(3), 104);
    EXPECT_EQ(node->getChildAt(4), 900);
    EXPECT_EQ(node->getChildAt(5), 105);
}

TEST_F(MoxIndexPageTest, OnlyPageOneIsExtractedAsRoot) {
    std::unique_ptr<Page> leaf = MoxIndexFreeSpaceInventory::getInstance()->getFreeLeafPage(segment(), INTEGER);
    size_t logged = pageEntries().size();
    std::string bytes = bytesOf(leaf->pageId());
    EXPECT_EQ(leaf->extractRoot(), nullptr);
    EXPECT_EQ(bytesOf(leaf->pageId()), bytes);
    EXPECT_EQ(pageEntries().size(), logged);

    std::unique_ptr<Page> root = page(1);
    ASSERT_TRUE(root->insert(MoxIndexKey(1), TupleId{1, 1}));
    std::unique_ptr<Page> newRoot = root->extractRoot();
    ASSERT_NE(newRoot, nullptr);
    EXPECT_EQ(newRoot->pageId(), 1);
    EXPECT_FALSE(newRoot->isLeaf());
    EXPECT_TRUE(newRoot->empty());
    EXPECT_NE(root->pageId(), 1);
    EXPECT_EQ(valuesOf(*root), std::vector<Sint32>({1}));
    // Two entries: the moved page from empty to the content, page 1 from
    // the content to an empty node.
    std::vector<MoxIndexLogEntry> entries = pageEntries();
    ASSERT_GE(entries.size(), 2u);
    const MoxIndexLogEntry& moved = entries[entries.size() - 2];
    const MoxIndexLogEntry& emptied = entries.back();
    EXPECT_EQ(*moved.getPageID(), root->pageId());
    EXPECT_EQ(*emptied.getPageID(), 1);
    EXPECT_EQ(std::string(moved.getAfterPage() + 16, MOX_PAGE_SIZE - 16),
              std::string(emptied.getBeforePage() + 16, MOX_PAGE_SIZE - 16));
}

TEST_F(MoxIndexPageTest, UndoAndRedoGiveBackOnlyUnlinkedEmptyPages) {
    std::unique_ptr<Page> fresh = MoxIndexFreeSpaceInventory::getInstance()->getFreeLeafPage(segment(), INTEGER);
    PageId id = fresh->pageId();
    std::string empty = bytesOf(id);
    ASSERT_TRUE(fresh->insert(MoxIndexKey(4), TupleId{1, 1}));
    std::string filled = bytesOf(id);
    fresh.reset();

    page(id)->undoOperation(empty.data(), MOX_PAGE_SIZE);
    EXPECT_TRUE(page(id)->empty());
    EXPECT_TRUE(isFree(id));
    page(id)->undoOperation(empty.data(), MOX_PAGE_SIZE);
    MoxIndexFreeSpaceInventory::PageFormat inventory;
    MoxIndexFreeSpaceInventory::getInstance()->getPageData(segment(), 0, inventory);
    EXPECT_EQ(inventory.numElements, 1) << "listed twice";
    page(id)->redoOperation(filled.data(), MOX_PAGE_SIZE);
    EXPECT_EQ(valuesOf(*page(id)), std::vector<Sint32>({4}));
    EXPECT_FALSE(isFree(id));
    std::vector<MoxIndexLogEntry> entries = pageEntries();
    EXPECT_EQ(entries.back().getTransactionType(), MoxAbstractLogEntry::INTEGER_REDO);
    EXPECT_EQ(entries[entries.size() - 2].getTransactionType(), MoxAbstractLogEntry::INTEGER_UNDO);

    // The empty root and an emptied leaf that is still linked stay in use.
    std::string root = bytesOf(1);
    page(1)->undoOperation(root.data(), MOX_PAGE_SIZE);
    EXPECT_FALSE(isFree(1));
    page(id)->setPrevId(1);
    std::string linkedEmpty = bytesOf(id);
    ASSERT_EQ(page(id)->deleteKey(MoxIndexKey(4), nullptr), 1u);
    linkedEmpty = bytesOf(id);
    page(id)->redoOperation(linkedEmpty.data(), MOX_PAGE_SIZE);
    EXPECT_FALSE(isFree(id));
}

TEST_F(MoxIndexPageTest, ImagesOfOtherPagesAndDamagedCountsAreRefused) {
    std::string other = bytesOf(1);
    std::unique_ptr<Page> fresh = MoxIndexFreeSpaceInventory::getInstance()->getFreeLeafPage(segment(), INTEGER);
    std::string bytes = bytesOf(fresh->pageId());
    EXPECT_TRUE(throwsError([&] { fresh->undoOperation(other.data(), MOX_PAGE_SIZE); }, MOX_PARAMETER_FAIL));
    EXPECT_TRUE(throwsError([&] { fresh->redoOperation(bytes.data(), MOX_PAGE_SIZE + 1); }, MOX_PARAMETER_FAIL));
    EXPECT_TRUE(throwsError([&] { fresh->redoOperation(nullptr, 0); }, MOX_PARAMETER_FAIL));
    EXPECT_EQ(bytesOf(fresh->pageId()), bytes);

    {
        MoxScopedPage fixed(segment(), 1, MoxPage::BTreeIndexPage, MoxScopedPage::GetExistingPage);
        reinterpret_cast<MoxIndexTreeLeafPage::pageFormat*>(fixed->getPageData())->spaceLeft = 600;
    }
    TupleId found;
    EXPECT_TRUE(throwsError([&] { tree->find(index, MoxIndexKey(1), found); }, MOX_INTERNAL_FAIL));
    EXPECT_TRUE(throwsError([&] { tree->insertKey(MoxIndexKey(1), found); }, MOX_INTERNAL_FAIL));
    MoxIndexTreeChecker checker = treeChecker(*tree);
    EXPECT_FALSE(sound(checker.check()));
}

TEST_F(MoxIndexPageTest, DumpsShowTheFieldsAndEntries) {
    ASSERT_TRUE(page(1)->insert(MoxIndexKey(-2), TupleId{3, 4}));
    testing::internal::CaptureStdout();
    page(1)->dump(true);
    page(1)->dump2(true);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "********** LEAF (SID: 32769 PID: 1 )**********\n"
              "**********  PrevID: 0 NextID: 0 **********\n"
              " Number of Elements: 1\n"
              "Value: -2, TupleId: 3, 4)\n"
              "Leaf 1 [prev 0, next 0]: 1 entries: -2 (3,4)\n");

    std::unique_ptr<Page> node = MoxIndexFreeSpaceInventory::getInstance()->getFreeNodePage(segment(), INTEGER);
    ASSERT_TRUE(node->insert(5, MoxIndexKey(10), 6));
    testing::internal::CaptureStdout();
    node->dump(true);
    node->dump2(true);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string(42, '*') +
                  "\nINNER NODE > SegmentId: 32769, PageId: 2, SpaceLeft: 507, FirstChild: 5, PrevId: 0, NextId: 0, "
                  "Number of Elements: 1\n"
                  "[0] -> 10 (child: 6)\n"
                  "Node 2 [prev 0, next 0]: 1 entries: 5 |10| 6\n");
}

}  // namespace
