#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "IndexTestDatabase.h"
#include "TestHelpers.h"

namespace {

typedef MoxIndexVarcharTreeLeafPage Leaf;

class MoxIndexVarcharPageTest : public IndexTestDatabase {
  protected:
    void SetUp() override {
        IndexTestDatabase::SetUp();
        MoxIndexManager::getInstance()->createIndex(index, false, BTree, VARCHAR);
        commit();
    }

    static std::unique_ptr<MoxIndexTreePage> root() { return MoxIndexTreePage::get(segmentOf(index), 1, VARCHAR); }
    static std::string text(size_t length, char fill) { return std::string(length, fill); }
    static bool insert(MoxIndexTreePage& page, const std::string& key, PageId tuplePage = 1) {
        return page.insert(MoxIndexKey(key.c_str()), TupleId{tuplePage, 2});
    }
    // The root leaf's bytes and its free bytes of entry area.
    static std::string rootBytes() {
        MoxScopedPage fixed(segmentOf(index), 1, MoxPage::BTreeIndexPage, MoxScopedPage::GetExistingPage);
        return std::string(reinterpret_cast<const char*>(fixed->getPageData()), MOX_PAGE_SIZE);
    }
    static Uint16 freeBytes() { return reinterpret_cast<const Leaf::pageFormat*>(rootBytes().data())->spaceLeft; }
    static ::testing::AssertionResult checked() { return sound(treeChecker(segmentOf(index), VARCHAR).check()); }
};

TEST_F(MoxIndexVarcharPageTest, EntriesLieBackToBackInStrcmpOrder) {
    std::unique_ptr<MoxIndexTreePage> leaf = root();
    for (const char* key : {"B", "A", "C"}) ASSERT_TRUE(insert(*leaf, key));
    std::string bytes = rootBytes();
    const size_t data = offsetof(Leaf::pageFormat, data);
    // Each one-character key takes 8 bytes: length, padding, TupleId, padding, the character and a NUL.
    EXPECT_EQ(bytes.substr(data, 24),
              std::string("\x01\0\x01\0\x02\0A\0\x01\0\x01\0\x02\0B\0\x01\0\x01\0\x02\0C\0", 24));
    EXPECT_EQ(bytes[MoxIndexTreePage::KEY_TYPE_OFFSET], MoxIndexTreePage::VARCHAR_MARK);
    EXPECT_EQ(freeBytes(), Leaf::maxElements - 24);
    EXPECT_EQ(leaf->numElements(), 3);
    EXPECT_EQ(leaf->spaceLeft(), Leaf::maxElements - 24 - 6);
    EXPECT_STREQ(leaf->getValueAt(1).varcharKey, "B");
    EXPECT_STREQ(leaf->getLastValue().varcharKey, "C");
    EXPECT_EQ(leaf->findKeyPosition(MoxIndexKey("C")), 2);
    EXPECT_EQ(leaf->findKeyPosition(MoxIndexKey("BB")), MoxIndexTreePage::NO_POSITION);
    EXPECT_TRUE(leaf->getTupleAt(3) == TupleId{});
    // Bytes order unsigned, and a prefix before its extensions; equal keys newest first.
    for (const char* key : {"\xe4", "AB", "", "B"}) ASSERT_TRUE(insert(*leaf, key, 9));
    std::vector<std::string> keys;
    for (Uint16 i = 0; i < leaf->numElements(); ++i) keys.push_back(leaf->getValueAt(i).varcharKey);
    EXPECT_EQ(keys, (std::vector<std::string>{"", "A", "AB", "B", "B", "C", "\xe4"}));
    EXPECT_TRUE(leaf->getTupleAt(3) == (TupleId{9, 2}));
    EXPECT_EQ(leaf->deleteKey(MoxIndexKey("B"), nullptr), 2u);
    EXPECT_TRUE(checked());
}

TEST_F(MoxIndexVarcharPageTest, TheEntryAreaFillsToTheLastByte) {
    std::unique_ptr<MoxIndexTreePage> leaf = root();
    // Fifteen keys of 255 characters take 262 bytes each; the rest of the
    // area is left with 7 bytes (a key of 84 characters) or 6 (85).
    for (int i = 0; i < 15; ++i) ASSERT_TRUE(insert(*leaf, text(255, static_cast<char>('a' + i))));
    EXPECT_EQ(freeBytes(), Leaf::maxElements - 15 * 262);
    const struct {
        size_t length;
        Uint16 free;
        bool full;
    } cases[] = {{84, 7, false}, {85, 6, true}};
    for (const auto& row : cases) {
        SCOPED_TRACE(row.length);
        ASSERT_TRUE(insert(*leaf, text(row.length, 'x')));
        EXPECT_EQ(freeBytes(), row.free);
        EXPECT_EQ(leaf->isFull(), row.full);
        EXPECT_FALSE(insert(*leaf, "y"));
        EXPECT_EQ(insert(*leaf, ""), !row.full);
        EXPECT_EQ(leaf->deleteKey(MoxIndexKey(""), nullptr), row.full ? 0u : 1u);
        ASSERT_EQ(leaf->deleteKey(MoxIndexKey(text(row.length, 'x').c_str()), nullptr), 1u);
    }
    EXPECT_TRUE(throwsError([&] { insert(*leaf, text(256, 'x')); }, MOX_PARAMETER_FAIL));
    EXPECT_TRUE(checked());
}

TEST_F(MoxIndexVarcharPageTest, SplitsLeaveRoomForTheLongestKeyWhereverItGoes) {
    MoxIndexManager* manager = MoxIndexManager::getInstance();
    // Short keys below and long keys above: halves by count would leave
    // the upper half without room for another long key.
    for (int i = 0; i < 40; ++i) manager->insert(index, MoxIndexKey(std::to_string(i % 10).c_str()), TupleId{1, 1});
    for (int i = 0; i < 14; ++i) manager->insert(index, MoxIndexKey(text(255, 'z').c_str()), TupleId{2, 1});
    manager->insert(index, MoxIndexKey(text(255, 'z').c_str()), TupleId{3, 1});
    // Long separators fill inner nodes quickly: three levels in a few hundred keys.
    for (int i = 0; i < 600; ++i) {
        std::string key = text(200, 'k') + std::to_string(i * 7919 % 600);
        manager->insert(index, MoxIndexKey(key.c_str()), TupleId{4, static_cast<SlotId>(i % 200)});
    }
    MoxIndexTreeChecker checker = treeChecker(segmentOf(index), VARCHAR);
    ASSERT_TRUE(sound(checker.check()));
    EXPECT_GE(checker.levels().size(), 3u);
    EXPECT_EQ(checker.entries().size(), 655u);
}

TEST_F(MoxIndexVarcharPageTest, DamagedPagesAndPagesOfTheOtherKeyTypeAreRefused) {
    std::unique_ptr<MoxIndexTreePage> leaf = root();
    for (const char* key : {"one", "two"}) ASSERT_TRUE(insert(*leaf, key));
    EXPECT_TRUE(throwsError([] { MoxIndexTreePage::get(segmentOf(index), 1, INTEGER); }, MOX_PARAMETER_FAIL));
    const size_t data = offsetof(Leaf::pageFormat, data);
    const struct {
        const char* name;
        size_t offset;
        unsigned char value;
    } damages[] = {{"length past the area in use", data + 10, 200},
                   {"key without its NUL", data + 9, 'x'},
                   {"count above the entries", offsetof(Leaf::pageFormat, numElements), 9},
                   {"free bytes beyond the area", offsetof(Leaf::pageFormat, spaceLeft) + 1, 0x40}};
    MoxScopedPage fixed(segmentOf(index), 1, MoxPage::BTreeIndexPage, MoxScopedPage::GetExistingPage);
    unsigned char* bytes = fixed->getPageData();
    for (const auto& damage : damages) {
        SCOPED_TRACE(damage.name);
        unsigned char saved = bytes[damage.offset];
        bytes[damage.offset] = damage.value;
        EXPECT_TRUE(throwsError([] { root()->findKeyPosition(MoxIndexKey("two")); }, MOX_INTERNAL_FAIL));
        EXPECT_FALSE(checked());
        bytes[damage.offset] = saved;
    }
    EXPECT_TRUE(checked());
}

}  // namespace
