#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "IndexTestDatabase.h"
#include "TestHelpers.h"
#include "common/ChildProcess.h"

namespace {

const int childPatience = 20000;

class MoxIndexBTreeTest : public IndexTestDatabase {
  protected:
    void SetUp() override {
        IndexTestDatabase::SetUp();
        tree = createIndex(index);
    }

    void insert(Sint32 key, TupleId tupleId) { ASSERT_EQ(tree->insertKey(MoxIndexKey(key), tupleId), MOX_SUCCESS); }
    static TupleId tupleFor(Sint32 key) { return TupleId{static_cast<PageId>(key + 1), 1}; }

    // Keys 0..252, three 253s, 254..506: a full root leaf; one more key
    // splits it between the first and the second 253.
    void buildRunAcrossTwoLeaves() {
        for (Sint32 key = 0; key < 509; ++key) {
            insert(key < 253 ? key : (key < 256 ? 253 : key - 2), TupleId{static_cast<PageId>(key + 1), 1});
        }
        insert(1000, tupleFor(1000));
        std::unique_ptr<MoxIndexTreePage> root = MoxIndexTreePage::get(segmentOf(index), 1, INTEGER);
        ASSERT_EQ(root->numElements(), 1);
        ASSERT_EQ(root->getValueAt(0).intKey, 253);
        left = root->getFirstChild();
        right = root->getChildAt(0);
        ASSERT_EQ(leafValues(left).back(), 253);
        ASSERT_EQ(leafValues(right)[0], 253);
        ASSERT_EQ(leafValues(right)[1], 253);
    }

    static std::vector<Sint32> leafValues(PageId page) {
        std::unique_ptr<MoxIndexTreePage> leaf = MoxIndexTreePage::get(segmentOf(index), page, INTEGER);
        std::vector<Sint32> values;
        for (Uint16 i = 0; i < leaf->numElements(); ++i) values.push_back(leaf->getValueAt(i).intKey);
        return values;
    }

    std::vector<TupleId> range(const MoxIndexKey* start, const MoxIndexKey* stop) {
        MoxIndexIterator* iterator = nullptr;
        EXPECT_EQ(tree->findRange(index, const_cast<MoxIndexKey*>(start), const_cast<MoxIndexKey*>(stop), iterator),
                  MOX_SUCCESS);
        std::unique_ptr<MoxIndexIterator> owned(iterator);
        std::vector<TupleId> tupleIds;
        TupleId tupleId;
        while (owned->getNextTupleId(tupleId) == MOX_SUCCESS) tupleIds.push_back(tupleId);
        EXPECT_TRUE(tupleId == TupleId{});
        return tupleIds;
    }

    std::unique_ptr<MoxIndexBTree> tree;
    PageId left = 0;
    PageId right = 0;
};

TEST_F(MoxIndexBTreeTest, NewIndexHoldsAnInventoryAndAnEmptyRootLeaf) {
    std::unique_ptr<MoxIndexTreePage> root = MoxIndexTreePage::get(segmentOf(index), 1, INTEGER);
    EXPECT_TRUE(root->isLeaf());
    EXPECT_TRUE(root->empty());
    EXPECT_TRUE(throwsError([] { MoxIndexTreePage::get(segmentOf(index), 0, INTEGER); }, MOX_BM_PAGETYPE_MISMATCH));
    EXPECT_EQ(MoxIndexFreeSpaceInventory::getInstance()->getLastPageId(segmentOf(index)), 1);
    TupleId tupleId;
    MoxIndexKey key;
    EXPECT_EQ(tree->find(index, MoxIndexKey(1), tupleId), MOX_NOT_FOUND_WARN);
    EXPECT_EQ(tree->findFirstKey(index, key, tupleId), MOX_NOT_FOUND_WARN);
    EXPECT_EQ(tree->findLastKey(index, key, tupleId), MOX_NOT_FOUND_WARN);
    EXPECT_EQ(tree->deleteKey(index, MoxIndexKey(1), nullptr), MOX_NOT_FOUND_WARN);
    EXPECT_TRUE(range(nullptr, nullptr).empty());
}

TEST_F(MoxIndexBTreeTest, AscendingKeysSplitTheRootLeafIntoTwoLinkedLeaves) {
    for (Sint32 key = 0; key < 510; ++key) insert(key, tupleFor(key));
    MoxIndexTreeChecker checker = treeChecker(*tree);
    ASSERT_TRUE(sound(checker.check()));
    ASSERT_EQ(checker.levels().size(), 2u);
    std::unique_ptr<MoxIndexTreePage> root = MoxIndexTreePage::get(segmentOf(index), 1, INTEGER);
    ASSERT_EQ(root->numElements(), 1);
    EXPECT_EQ(root->getValueAt(0).intKey, 253);
    EXPECT_EQ(leafValues(root->getFirstChild()).size(), 254u);
    EXPECT_EQ(leafValues(root->getChildAt(0)).size(), 256u);
    // A key equal to the separator belongs to the left leaf.
    insert(253, TupleId{7, 7});
    EXPECT_EQ(leafValues(root->getFirstChild()).size(), 255u);
    TupleId found;
    ASSERT_EQ(tree->find(index, MoxIndexKey(253), found), MOX_SUCCESS);
    EXPECT_TRUE(found == (TupleId{7, 7}));
}

TEST_F(MoxIndexBTreeTest, UniqueIndexRefusesAPresentKey) {
    std::unique_ptr<MoxIndexBTree> uniqueTree = createIndex(index + 1, true);
    ASSERT_EQ(uniqueTree->insertKey(MoxIndexKey(4), TupleId{1, 1}), MOX_SUCCESS);
    EXPECT_EQ(uniqueTree->insertKey(MoxIndexKey(4), TupleId{2, 2}), MOX_IM_DUPLICATE_KEY_IN_UNIQUE_INDEX);
    EXPECT_EQ(MoxError::getErrorObject()->getErrorCode(), MOX_IM_DUPLICATE_KEY_IN_UNIQUE_INDEX);
    EXPECT_TRUE(uniqueTree->checkUnique(MoxIndexKey(4)));
    EXPECT_FALSE(uniqueTree->checkUnique(MoxIndexKey(5)));
    MoxIndexTreeChecker checker = treeChecker(*uniqueTree);
    ASSERT_TRUE(sound(checker.check()));
    ASSERT_EQ(checker.entries().size(), 1u);
    EXPECT_TRUE(checker.entries()[0].tupleId == (TupleId{1, 1}));
}

TEST_F(MoxIndexBTreeTest, DuplicatesSpanningTwoLeavesAreDeletedAtOnce) {
    buildRunAcrossTwoLeaves();
    EXPECT_EQ(tree->deleteKey(index, MoxIndexKey(253), nullptr), MOX_SUCCESS);
    TupleId found;
    EXPECT_EQ(tree->find(index, MoxIndexKey(253), found), MOX_NOT_FOUND_WARN);
    MoxIndexTreeChecker checker = treeChecker(*tree);
    ASSERT_TRUE(sound(checker.check()));
    EXPECT_EQ(checker.entries().size(), 507u);  // 510 less the three
}

TEST_F(MoxIndexBTreeTest, ARunIsFoundAndDeletedAfterItsFirstLeafLostItsCopies) {
    buildRunAcrossTwoLeaves();
    // The left leaf's only 253 goes; two remain in the right leaf, while
    // the separator still sends 253 to the left leaf.
    TupleId inLeft = MoxIndexTreePage::get(segmentOf(index), left, INTEGER)->getTupleAt(253);
    ASSERT_EQ(tree->deleteKey(index, MoxIndexKey(253), &inLeft), MOX_SUCCESS);
    ASSERT_NE(leafValues(left).back(), 253);
    TupleId found;
    ASSERT_EQ(tree->find(index, MoxIndexKey(253), found), MOX_SUCCESS);
    EXPECT_TRUE(found == MoxIndexTreePage::get(segmentOf(index), right, INTEGER)->getTupleAt(0));
    EXPECT_TRUE(tree->checkUnique(MoxIndexKey(253)));
    EXPECT_EQ(tree->deleteKey(index, MoxIndexKey(253), &found), MOX_SUCCESS);
    tree->deleteKey(MoxIndexKey(253));
    EXPECT_EQ(tree->find(index, MoxIndexKey(253), found), MOX_NOT_FOUND_WARN);
    EXPECT_FALSE(tree->checkUnique(MoxIndexKey(253)));
    EXPECT_EQ(tree->deleteKey(index, MoxIndexKey(253), nullptr), MOX_NOT_FOUND_WARN);
    // A key between the leaves' keys is absent, not found further right.
    EXPECT_EQ(tree->find(index, MoxIndexKey(252), found), MOX_SUCCESS);
    EXPECT_EQ(tree->deleteKey(index, MoxIndexKey(252), nullptr), MOX_SUCCESS);
    EXPECT_EQ(tree->find(index, MoxIndexKey(252), found), MOX_NOT_FOUND_WARN);
    MoxIndexTreeChecker checker = treeChecker(*tree);
    ASSERT_TRUE(sound(checker.check()));
    EXPECT_EQ(checker.entries().size(), 506u);  // 510 less three 253s and the 252
}

TEST_F(MoxIndexBTreeTest, FirstAndLastKeysLieBehindEmptiedLeaves) {
    for (Sint32 key = 0; key < 1600; ++key) insert(key, tupleFor(key));
    MoxIndexTreeChecker checker = treeChecker(*tree);
    ASSERT_TRUE(sound(checker.check()));
    const std::vector<PageId>& leaves = checker.levels().back();
    ASSERT_GE(leaves.size(), 4u);
    // Empty the first two leaves and the last one.
    std::vector<Sint32> gone = leafValues(leaves[0]);
    for (Sint32 key : leafValues(leaves[1])) gone.push_back(key);
    for (Sint32 key : leafValues(leaves.back())) gone.push_back(key);
    for (Sint32 key : gone) ASSERT_EQ(tree->deleteKey(index, MoxIndexKey(key), nullptr), MOX_SUCCESS);
    MoxIndexKey key;
    TupleId tupleId;
    ASSERT_EQ(tree->findFirstKey(index, key, tupleId), MOX_SUCCESS);
    EXPECT_EQ(key.intKey, leafValues(leaves[2]).front());
    EXPECT_TRUE(tupleId == tupleFor(key.intKey));
    ASSERT_EQ(tree->findLastKey(index, key, tupleId), MOX_SUCCESS);
    EXPECT_EQ(key.intKey, leafValues(leaves[leaves.size() - 2]).back());
    ASSERT_TRUE(sound(checker.check()));
    EXPECT_EQ(checker.entries().size(), 1600u - gone.size());
}

TEST_F(MoxIndexBTreeTest, RangesIncludeBothBoundsInKeyOrder) {
    const Sint32 keys[] = {20, 10, 5, 25, 10, 15};
    for (Sint32 i = 0; i < 6; ++i) insert(keys[i], TupleId{static_cast<PageId>(keys[i]), static_cast<SlotId>(i)});
    MoxIndexKey ten(10);
    MoxIndexKey twenty(20);
    MoxIndexKey above(26);
    std::vector<TupleId> found = range(&ten, &twenty);
    ASSERT_EQ(found.size(), 4u);
    EXPECT_TRUE(found[0] == (TupleId{10, 4}));
    EXPECT_TRUE(found[1] == (TupleId{10, 1}));
    EXPECT_TRUE(found[2] == (TupleId{15, 5}));
    EXPECT_TRUE(found[3] == (TupleId{20, 0}));
    EXPECT_TRUE(range(&above, nullptr).empty());
    EXPECT_EQ(range(nullptr, &ten).size(), 3u);
    EXPECT_EQ(range(&twenty, nullptr).size(), 2u);
    EXPECT_EQ(range(&twenty, &ten).size(), 0u);
}

TEST_F(MoxIndexBTreeTest, IteratorCountsEveryEntryOnceAcrossLeavesAndResets) {
    for (Sint32 key = 0; key < 1200; ++key) insert(key % 600, TupleId{static_cast<PageId>(key + 1), 1});
    // A repeated pair is a second entry, and yields twice.
    insert(5, TupleId{6, 1});
    std::vector<TupleId> all = range(nullptr, nullptr);
    ASSERT_EQ(all.size(), 1201u);
    EXPECT_EQ(std::count(all.begin(), all.end(), TupleId{6, 1}), 2);

    MoxIndexKey start(5);
    MoxIndexKey stop(6);
    MoxIndexIterator* iterator = nullptr;
    ASSERT_EQ(tree->findRange(index, &start, &stop, iterator), MOX_SUCCESS);
    std::unique_ptr<MoxIndexIterator> owned(iterator);
    TupleId first;
    ASSERT_EQ(owned->getNextTupleId(first), MOX_SUCCESS);
    EXPECT_TRUE(owned->hasNext());
    EXPECT_TRUE(owned->hasNext());
    ASSERT_EQ(owned->reset(), MOX_SUCCESS);
    TupleId again;
    ASSERT_EQ(owned->getNextTupleId(again), MOX_SUCCESS);
    EXPECT_TRUE(again == first);
    int count = 1;
    while (owned->getNextTupleId(again) == MOX_SUCCESS) ++count;
    EXPECT_EQ(count, 5);
    EXPECT_FALSE(owned->hasNext());
}

TEST_F(MoxIndexBTreeTest, KeysOfAnotherTypeOrIndexAreRefused) {
    TupleId tupleId;
    EXPECT_EQ(tree->insertKey(MoxIndexKey("text"), TupleId{1, 1}), MOX_PARAMETER_FAIL);
    EXPECT_EQ(tree->find(index + 1, MoxIndexKey(1), tupleId), MOX_PARAMETER_FAIL);
    EXPECT_EQ(tree->deleteKey(index, MoxIndexKey(), nullptr), MOX_PARAMETER_FAIL);
    EXPECT_FALSE(tree->checkUnique(MoxIndexKey("text")));
    MoxIndexTreeChecker checker = treeChecker(*tree);
    ASSERT_TRUE(sound(checker.check()));
    EXPECT_TRUE(checker.entries().empty());
}

// A writer keeps the inner pages it split locked until its transaction
// ends: a descent that meets one waits for it like any lock request instead
// of failing the operation.
TEST_F(MoxIndexBTreeTest, ADescentWaitsForAnotherTransactionThatHoldsTheRoot) {
    for (Sint32 key = 0; key < 600; ++key) insert(key, tupleFor(key));
    commit();
    EventPipe locked;
    EventPipe done;
    ChildProcess holder([&] {
        MoxLockManager* locks = MoxLockManager::getInstance();
        locks->requestPage(segmentOf(index), 1, MoxLockManager::ExclusiveLock);
        locked.notify();
        // Polled, not slept on: released once the descent waits (or, had it
        // given up, once it is done).
        for (;;) {
            testing::internal::CaptureStdout();
            locks->printWaitList();
            const std::string waiting = testing::internal::GetCapturedStdout();
            if (std::count(waiting.begin(), waiting.end(), '\n') > 2 || done.waitFor(1)) break;
        }
        locks->releaseAll();
        return 0;
    });
    ASSERT_TRUE(locked.waitFor(childPatience));
    EXPECT_EQ(tree->insertKey(MoxIndexKey(1000), tupleFor(1000)), MOX_SUCCESS);
    done.notify();
    EXPECT_EQ(holder.wait(), 0);
    TupleId found;
    EXPECT_EQ(tree->find(index, MoxIndexKey(1000), found), MOX_SUCCESS);
    MoxIndexTreeChecker checker = treeChecker(*tree);
    ASSERT_TRUE(sound(checker.check()));
    EXPECT_EQ(checker.entries().size(), 601u);
}

// A descent that waited for the root may be granted it after its holder
// rolled back a root split: the inner node it had read is a leaf again, and
// read as a node it would lead to a page that does not exist.
TEST_F(MoxIndexBTreeTest, ADescentReadsTheRootAgainWhenAnUndoneSplitMadeItALeaf) {
    for (Sint32 key = 0; key < 100; ++key) insert(key, tupleFor(key));
    commit();
    EventPipe split;
    EventPipe done;
    ChildProcess splitter([&] {
        for (Sint32 key = 100; key < 600; ++key) {  // beyond one leaf
            if (tree->insertKey(MoxIndexKey(key), tupleFor(key)) != MOX_SUCCESS) return 2;
        }
        split.notify();
        MoxLockManager* locks = MoxLockManager::getInstance();
        for (;;) {
            testing::internal::CaptureStdout();
            locks->printWaitList();
            const std::string waiting = testing::internal::GetCapturedStdout();
            if (std::count(waiting.begin(), waiting.end(), '\n') > 2 || done.waitFor(1)) break;
        }
        rollback();
        return 0;
    });
    ASSERT_TRUE(split.waitFor(childPatience));
    TupleId found;
    EXPECT_EQ(tree->find(index, MoxIndexKey(50), found), MOX_SUCCESS);
    EXPECT_TRUE(found == tupleFor(50));
    done.notify();
    EXPECT_EQ(splitter.wait(), 0);
    MoxIndexTreeChecker checker = treeChecker(*tree);
    ASSERT_TRUE(sound(checker.check()));
    EXPECT_EQ(checker.entries().size(), 100u);
}

TEST_F(MoxIndexBTreeTest, DumpsShowTheTreeItsPagesAndItsLeaves) {
    for (Sint32 key = 0; key < 510; ++key) insert(key, tupleFor(key));
    testing::internal::CaptureStdout();
    tree->dump();
    tree->dump(1, false, true);
    tree->dump(0, false, false);
    tree->dumpLeafs(false);
    std::string text = testing::internal::GetCapturedStdout();
    EXPECT_EQ(text.rfind("SegmentId = 32769\nIndexID = 1\nDatatype = 1\nUnique = 0\n", 0), 0u);
    EXPECT_NE(text.find("Node 1 [prev 0, next 0]: 1 entries\nLeaf 3 [prev 0, next 2]: 254 entries\n"
                        "Leaf 2 [prev 3, next 0]: 256 entries\n"),
              std::string::npos);
    EXPECT_NE(text.find("Index FSI Page > SegmentId: 32769, PageId: 0, NextId: 0, LastId: 3, numElements: 0\n"),
              std::string::npos);
    EXPECT_NE(text.find("********** LEAF (SID: 32769 PID: 3 )**********\n**********  PrevID: 0 NextID: 2"),
              std::string::npos);
}

}  // namespace
