#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "buffer/MoxBufferContent.h"
#include "common/TestDatabase.h"
#include "common/TestHelpers.h"
#include "support/MoxScopedMemorySet.h"

// The hash and the LRU list inside a real pool set, without a buffer manager.
class MoxBMStructuresTest : public TestDatabase {
  protected:
    void SetUp() override {
        TestDatabase::SetUp();
        MoxMemoryManager::getMemoryManager()->createMemorySet(MoxMemoryManager::BufferPool);
        connection = std::make_unique<MoxScopedMemorySet>(MoxMemoryManager::BufferPool);
        pool = static_cast<MoxBufferContent*>(connection->getData());
        ASSERT_EQ(pool->latch.initialize(), MOX_SUCCESS);
        pool->hash.initialize();
        pool->lru.initialize();
        MoxBMHash::setPagesPointer(pool->pages);
        MoxLRU::setPagesPointer(pool->pages);
    }

    void TearDown() override {
        connection.reset();
        TestDatabase::TearDown();
    }

    // Occupies the next free frame with (segment, page) as a page load does.
    Uint16 load(SegmentId segment, PageId page) {
        Uint16 index = pool->lru.getFreeSlot();
        pool->pages[index].segmentId = segment;
        pool->pages[index].pageId = page;
        pool->lru.insert(index);
        pool->hash.insert(index);
        return index;
    }

    std::unique_ptr<MoxScopedMemorySet> connection;
    MoxBufferContent* pool = nullptr;
};

TEST_F(MoxBMStructuresTest, FramesAreHandedOutInAscendingOrderUntilFull) {
    for (Uint16 i = 0; i < MOX_BM_NUM_PAGES; ++i) {
        ASSERT_FALSE(pool->lru.isFull());
        ASSERT_EQ(load(1, i), i);
    }
    EXPECT_EQ(pool->lru.getFreeSlot(), MoxLRU::EMPTY_LIST_HEAD);
    EXPECT_TRUE(pool->lru.isFull());
    // Most recently used first: the used list runs from 991 down to 0.
    EXPECT_EQ(pool->lru.lru[MoxLRU::USED_LIST_HEAD].next, 991);
    EXPECT_EQ(pool->lru.lru[MoxLRU::USED_LIST_HEAD].prev, 0);
}

TEST_F(MoxBMStructuresTest, OneBucketTellsSegmentsAndPagesApart) {
    Uint16 first = load(1, 5);
    Uint16 other = load(1, 204);
    Uint16 second = load(2, 5);
    for (SegmentId segment : {1, 2}) {
        for (PageId page : {5, 204}) {
            EXPECT_EQ(MoxBMHash::getHashValue(segment, page), 998);
        }
    }
    MoxPage* page = nullptr;
    Uint16 index = 0;
    for (auto [segment, pageId, expected] : {std::tuple{1, 5, first}, {1, 204, other}, {2, 5, second}}) {
        pool->hash.get(segment, pageId, page, index);
        EXPECT_EQ(index, expected);
        EXPECT_EQ(page, &pool->pages[expected]);
    }
    EXPECT_TRUE(throwsError([&] { pool->hash.get(2, 204, page, index); }, MOX_BM_PAGE_NOT_FOUND, {"204", "2"}));
    EXPECT_EQ(page, nullptr);
    EXPECT_TRUE(throwsError([&] { pool->hash.get(0, 5, page, index); }, MOX_PARAMETER_FAIL));

    // A removed frame is gone from its chain and the others stay found.
    pool->hash.remove(other);
    EXPECT_EQ(pool->hash.find(1, 204, index), nullptr);
    EXPECT_EQ(pool->hash.find(2, 5, index), &pool->pages[second]);
}

TEST_F(MoxBMStructuresTest, MisusedFramesFailWithoutChangingTheHash) {
    Uint16 hashed = load(3, 7);
    Uint16 unhashed = pool->lru.getFreeSlot();
    MoxBMHash before;
    memcpy(&before, &pool->hash, sizeof(before));

    EXPECT_TRUE(throwsError([&] { pool->hash.insert(hashed); }, MOX_INTERNAL_FAIL));
    EXPECT_TRUE(throwsError([&] { pool->hash.remove(unhashed); }, MOX_INTERNAL_FAIL));
    EXPECT_TRUE(throwsError([&] { pool->hash.insert(MoxBMHash::EMPTY_LIST_HEAD); }, MOX_PARAMETER_FAIL));
    EXPECT_TRUE(throwsError([&] { pool->hash.remove(MoxBMHash::EMPTY_LIST_HEAD); }, MOX_PARAMETER_FAIL));
    EXPECT_EQ(memcmp(&before, &pool->hash, sizeof(before)), 0);
    for (Uint16 head : {MoxLRU::EMPTY_LIST_HEAD, MoxLRU::USED_LIST_HEAD}) {
        EXPECT_TRUE(throwsError([&] { pool->lru.touch(head); }, MOX_PARAMETER_FAIL));
        EXPECT_TRUE(throwsError([&] { pool->lru.insert(head); }, MOX_PARAMETER_FAIL));
        EXPECT_TRUE(throwsError([&] { pool->lru.removeEntry(head); }, MOX_PARAMETER_FAIL));
    }
}

TEST_F(MoxBMStructuresTest, VictimIsTheLeastRecentlyUsedUnfixedFrame) {
    Uint16 a = load(1, 1);
    Uint16 b = load(1, 2);
    Uint16 c = load(1, 3);
    pool->pages[a].fixCount = 1;

    Uint16 victim = 0;
    pool->lru.remove(victim);
    EXPECT_EQ(victim, b);
    EXPECT_EQ(pool->lru.getFreeSlot(), b);

    // Touching brings a frame to the front; the least recent one stays last.
    pool->lru.touch(a);
    EXPECT_EQ(pool->lru.lru[MoxLRU::USED_LIST_HEAD].next, a);
    EXPECT_EQ(pool->lru.lru[MoxLRU::USED_LIST_HEAD].prev, c);

    pool->pages[c].fixCount = 2;
    MoxLRU before;
    memcpy(&before, &pool->lru, sizeof(before));
    EXPECT_TRUE(throwsError([&] { pool->lru.remove(victim); }, MOX_NOT_FOUND_WARN));
    EXPECT_EQ(memcmp(&before, &pool->lru, sizeof(before)), 0);
}

TEST_F(MoxBMStructuresTest, FreedFramesComeBackLastInFirstOut) {
    for (PageId page = 0; page < 4; ++page) {
        load(1, page);
    }
    for (Uint16 freed : {2, 0, 3}) {
        pool->hash.remove(freed);
        pool->lru.removeEntry(freed);
        EXPECT_EQ(pool->hash.hashArray[MoxBMHash::EMPTY_LIST_HEAD].next, freed);
        EXPECT_EQ(pool->lru.getFreeSlot(), freed);
    }
    // Frames never used come after the freed ones.
    EXPECT_EQ(load(9, 9), 3);
    EXPECT_EQ(load(9, 10), 0);
    EXPECT_EQ(load(9, 11), 2);
    EXPECT_EQ(load(9, 12), 4);
}

TEST_F(MoxBMStructuresTest, StopSeesFixedFramesAndRemovesThePool) {
    connection.reset();
    bool inUse = true;
    MoxBufferManager::haveFixedPages(inUse);
    EXPECT_FALSE(inUse);

    connection = std::make_unique<MoxScopedMemorySet>(MoxMemoryManager::BufferPool);
    pool = static_cast<MoxBufferContent*>(connection->getData());
    pool->pages[991].fixCount = 1;
    connection.reset();
    MoxBufferManager::haveFixedPages(inUse);
    EXPECT_TRUE(inUse);

    MoxBufferManager::destroyBuffer();
    EXPECT_TRUE(throwsError([] { MoxScopedMemorySet probe(MoxMemoryManager::BufferPool); }, MOX_MM_SHM_NOT_EXISTS));
    // A missing pool is not in use and is removed once more without complaint.
    MoxBufferManager::haveFixedPages(inUse);
    EXPECT_FALSE(inUse);
    MoxBufferManager::destroyBuffer();
}
