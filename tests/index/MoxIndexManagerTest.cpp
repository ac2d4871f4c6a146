#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "IndexTestDatabase.h"
#include "TestHelpers.h"
#include "clp/MoxSystem.h"
#include "support/MoxDebug.h"
#include "common/ChildProcess.h"

namespace {

const int childPatience = 20;

// The five keys of a range case, as integers or as strings of one type.
struct KeySet {
    MoxDataType dataType;
    std::vector<std::string> texts;
    MoxIndexKey key(size_t i) const {
        return dataType == INTEGER ? MoxIndexKey(std::stoi(texts[i])) : MoxIndexKey(texts[i].c_str());
    }
};

class MoxIndexManagerTest : public IndexTestDatabase {
  protected:
    static MoxIndexManager& manager() { return *MoxIndexManager::getInstance(); }

    static std::vector<TupleId> range(IndexId id, const MoxIndexKey* start, const MoxIndexKey* stop) {
        MoxIndexIterator* iterator = nullptr;
        manager().findRange(id, start, stop, iterator);
        std::unique_ptr<MoxIndexIterator> owned(iterator);
        std::vector<TupleId> found;
        TupleId tupleId;
        while (owned->getNextTupleId(tupleId) == MOX_SUCCESS) found.push_back(tupleId);
        EXPECT_TRUE(tupleId == TupleId{});
        EXPECT_EQ(owned->getNextTupleId(tupleId), MOX_NOT_FOUND_WARN);
        return found;
    }

    static std::string debugOutput(mox_dbgfunc* command, const char* args) {
        testing::internal::CaptureStdout();
        command(args);
        return testing::internal::GetCapturedStdout();
    }
};

TEST_F(MoxIndexManagerTest, CreatingRefusesTakenIdsAndTypesOtherThanBTree) {
    manager().createIndex(1, false, BTree, INTEGER);
    std::optional<MoxException> again = caught([] { manager().createIndex(1, false, BTree, VARCHAR); });
    ASSERT_TRUE(again);
    EXPECT_EQ(again->getErrorCode(), MOX_IM_INDEX_ALREADY_EXISTS);
    EXPECT_EQ(again->getCall(), "bufferMgr->createSegment(segment)");

    testing::internal::CaptureStdout();
    EXPECT_TRUE(throwsError([] { manager().createIndex(2, false, Hash, INTEGER); }, MOX_IM_NOT_IMPL_HASH));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "************** Hash ausgewählt \n");
    EXPECT_TRUE(throwsError([] { manager().createIndex(2, false, BTree, INTEGER); }, MOX_IM_INDEX_ALREADY_EXISTS));
    EXPECT_TRUE(
        throwsError([] { manager().createIndex(3, false, UnknownIndexType, INTEGER); }, MOX_IM_INDEXTYPE_NOT_VALID));
    EXPECT_TRUE(throwsError([] { manager().createIndex(4, false, BTree, UnknownDataType); }, MOX_PARAMETER_FAIL));
    EXPECT_TRUE(throwsError([] { manager().createIndex(0, false, BTree, INTEGER); }, MOX_PARAMETER_FAIL));

    // Index 1 stays open and current; a dropped one is no longer open.
    TupleId found;
    std::optional<MoxException> missing = caught([&] { manager().find(1, MoxIndexKey(7), found); });
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->getErrorCode(), MOX_NOT_FOUND_WARN);
    EXPECT_EQ(missing->getCall(), "currentIndex->find(index, key, tid)");
    manager().dropIndex(1);
    EXPECT_TRUE(throwsError([&] { manager().find(1, MoxIndexKey(7), found); }, MOX_IM_INDEX_NOT_OPENED));
    // A rolled back creation leaves no index behind, open or on disk.
    manager().createIndex(8, false, BTree, VARCHAR);
    manager().insert(8, MoxIndexKey("x"), TupleId{1, 1});
    MoxBufferManager::getInstance()->rollback();
    manager().rollback();
    EXPECT_TRUE(throwsError([&] { manager().find(8, MoxIndexKey("x"), found); }, MOX_IM_INDEX_NOT_OPENED));
    manager().createIndex(8, false, BTree, INTEGER);
}

TEST_F(MoxIndexManagerTest, AnIndexOfAnotherProcessMustBeOpenedHere) {
    MoxSystem::stopAllManagers();
    ChildProcess creator([] {
        MoxIndexManager::getInstance()->createIndex(5, true, BTree, VARCHAR);
        MoxIndexManager::getInstance()->insert(5, MoxIndexKey("x"), TupleId{3, 4});
        commit();
        MoxSystem::stopAllManagers();
        return 0;
    });
    ASSERT_EQ(creator.wait(childPatience), 0);
    TupleId found;
    EXPECT_TRUE(throwsError([&] { manager().find(5, MoxIndexKey("x"), found); }, MOX_IM_INDEX_NOT_OPENED));
    EXPECT_TRUE(throwsError([] { manager().show(5, 1, 1, false); }, MOX_IM_INDEX_NOT_OPENED));
    // A range needs no open index: the pages tell the key type.
    MoxIndexKey x("x");
    EXPECT_EQ(range(5, &x, &x).size(), 1u);
    manager().createIndex(6, false, BTree, INTEGER);
    manager().openIndex(5, true, BTree, VARCHAR);
    std::optional<MoxException> viaList = caught([&] { manager().insert(5, MoxIndexKey("x"), TupleId{9, 9}); });
    ASSERT_TRUE(viaList);
    EXPECT_EQ(viaList->getErrorCode(), MOX_IM_DUPLICATE_KEY_IN_UNIQUE_INDEX);
    EXPECT_EQ(viaList->getCall(), "currentIndex->insertKey(key, tid)");
    manager().insert(6, MoxIndexKey(1), TupleId{1, 1});
    manager().find(5, MoxIndexKey("x"), found);
    EXPECT_TRUE(found == (TupleId{3, 4}));
    std::optional<MoxException> typeMismatch = caught([&] { manager().find(6, MoxIndexKey("x"), found); });
    ASSERT_TRUE(typeMismatch);
    EXPECT_EQ(typeMismatch->getCall(), "mytree->find(index, key, tid)");
}

TEST_F(MoxIndexManagerTest, RangesIncludeBothBoundsForBothKeyTypes) {
    const KeySet sets[] = {{INTEGER, {"5", "10", "10", "15", "20", "25", "30"}},
                           {VARCHAR, {"a", "bb", "bb", "bc", "c", "cc", "d"}}};
    IndexId id = 10;
    for (const KeySet& set : sets) {
        SCOPED_TRACE(set.dataType);
        manager().createIndex(++id, false, BTree, set.dataType);
        for (size_t i = 0; i + 1 < set.texts.size(); ++i)
            manager().insert(id, set.key(i), TupleId{static_cast<PageId>(i + 1), 0});
        MoxIndexKey low = set.key(1);
        MoxIndexKey high = set.key(4);
        MoxIndexKey above = set.key(6);
        std::vector<TupleId> found = range(id, &low, &high);
        ASSERT_EQ(found.size(), 4u);
        EXPECT_TRUE(found[0] == (TupleId{3, 0}));  // equal keys newest first
        EXPECT_TRUE(found[3] == (TupleId{5, 0}));
        EXPECT_TRUE(range(id, &above, nullptr).empty());
        EXPECT_EQ(range(id, nullptr, &low).size(), 3u);
        EXPECT_EQ(range(id, nullptr, nullptr).size(), 6u);
        MoxIndexKey first;
        MoxIndexKey last;
        TupleId tupleId;
        manager().findFirstKey(id, first, tupleId);
        manager().findLastKey(id, last, tupleId);
        EXPECT_TRUE(first == set.key(0));
        EXPECT_TRUE(last == set.key(5));
        MoxIndexKey otherType = (set.dataType == INTEGER ? sets[1] : sets[0]).key(0);
        EXPECT_TRUE(throwsError([&] { range(id, &otherType, nullptr); }, MOX_PARAMETER_FAIL));
    }
}

TEST_F(MoxIndexManagerTest, UpdateToAPresentUniqueKeyChangesNothing) {
    const KeySet sets[] = {{INTEGER, {"1", "2", "3"}}, {VARCHAR, {"one", "two", "three"}}};
    IndexId id = 20;
    for (const KeySet& set : sets) {
        SCOPED_TRACE(set.dataType);
        manager().createIndex(++id, true, BTree, set.dataType);
        TupleId rows[2] = {{1, 1}, {2, 2}};
        manager().insert(id, set.key(0), rows[0]);
        manager().insert(id, set.key(1), rows[1]);
        EXPECT_TRUE(throwsError([&] { manager().update(id, set.key(0), set.key(1), &rows[0]); },
                                MOX_IM_DUPLICATE_KEY_IN_UNIQUE_INDEX));
        TupleId found;
        manager().find(id, set.key(0), found);
        EXPECT_TRUE(found == rows[0]);
        manager().update(id, set.key(0), set.key(2), &rows[0]);
        manager().update(id, set.key(2), set.key(2), &rows[0]);
        manager().find(id, set.key(2), found);
        EXPECT_TRUE(found == rows[0]);
        EXPECT_TRUE(throwsError([&] { manager().find(id, set.key(0), found); }, MOX_NOT_FOUND_WARN));
        EXPECT_TRUE(throwsError([&] { manager().update(id, set.key(2), set.key(0), nullptr); }, MOX_PARAMETER_FAIL));
        manager().remove(id, set.key(0), nullptr);
        manager().remove(id, set.key(1), nullptr);
        EXPECT_EQ(range(id, nullptr, nullptr).size(), 1u);
    }
}

TEST_F(MoxIndexManagerTest, DebugCommandsCheckTheirWordsAndDumpTheIndex) {
    manager().createIndex(3, false, BTree, VARCHAR);
    for (int i = 0; i < 40; ++i)
        manager().insert(3, MoxIndexKey(std::string(200, 'a' + i % 20).c_str()), TupleId{1, 1});
    const struct {
        mox_dbgfunc* command;
        const char* args;
        const char* expected;
    } cases[] = {
        {MoxIndexManager::debugIndexAll, "info", "Wrong Parameters\nUSAGE: show index_all info|dump <indexId>\n"},
        {MoxIndexManager::debugIndexLeafs, "dump 3 4",
         "Wrong Parameters\nUSAGE: show index_leafs info|dump <indexId> \n"},
        {MoxIndexManager::debugIndexPage, "info 3 x",
         "Wrong Parameters\nUSAGE: show index_page info|dump <indexId> <pageId>\n"},
        {MoxIndexManager::debugIndexPages, "info 3 1",
         "Wrong Parameters\nUSAGE: show index_pages info|dump <indexId> <pageId1> <pageId2>\n"},
        {MoxIndexManager::debugIndexFsi, "show 3", "Error\nshow is a unknown parameter\n"},
        {MoxIndexManager::debugIndexFsi, "info 3",
         "******************************************\nIndex FSI Page > SegmentId: 32773, PageId: 0, NextId: 0, "},
        {MoxIndexManager::debugIndexPage, "info 3 1",
         "SegmentId = 32773\nIndexID = 3\nDatatype = 0\nUnique = 0\nNode 1 [prev 0, next 0]: "},
        {MoxIndexManager::debugIndexPages, "dump 3 2 1", "Error\n"},
        {MoxIndexManager::debugIndexLeafs, "info 4", "Error\n"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.args);
        EXPECT_EQ(debugOutput(row.command, row.args).rfind(row.expected, 0), 0u);
    }
    for (const MoxDebugData& registered : MoxDebug::getFunctions()) {
        if (std::string(registered.name) == "index_fsi") {
            EXPECT_STREQ(registered.doc, "Dumps the FSI pages of the Index");
            EXPECT_EQ(debugOutput(registered.func, "info 3"), debugOutput(MoxIndexManager::debugIndexFsi, "info 3"));
        }
    }
    std::string all = debugOutput(MoxIndexManager::debugIndexAll, "dump 3");
    EXPECT_NE(all.find("INNER NODE > SegmentId: 32773, PageId: 1, "), std::string::npos);
    EXPECT_NE(all.find("Value: " + std::string(200, 'a') + ", TupleId: 1, 1)\n"), std::string::npos);
    EXPECT_NE(debugOutput(MoxIndexManager::debugIndexLeafs, "info 3").find("********** LEAF (SID: 32773 PID: "),
              std::string::npos);
    // Pages up to the first that does not exist.
    std::string pages = debugOutput(MoxIndexManager::debugIndexPages, "info 3 1 500");
    EXPECT_NE(pages.find("Leaf "), std::string::npos);
    EXPECT_EQ(pages.find("Error"), std::string::npos);
}

}  // namespace
