#include "IndexTestDatabase.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/ChildProcess.h"

std::vector<IndexRow> sortedRows(const std::vector<IndexEntry>& entries) {
    std::vector<IndexRow> rows;
    for (const IndexEntry& entry : entries) rows.emplace_back(entry.key.intKey, entry.tupleId.page, entry.tupleId.slot);
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::vector<VarcharRow> sortedVarcharRows(const std::vector<IndexEntry>& entries) {
    std::vector<VarcharRow> rows;
    for (const IndexEntry& entry : entries)
        rows.emplace_back(entry.key.varcharKey, entry.tupleId.page, entry.tupleId.slot);
    std::sort(rows.begin(), rows.end());
    return rows;
}

void IndexTestDatabase::startSystem() {
    MoxLockManager::initializeLockList();
    MoxBufferManager::initializeBuffer();
    MoxLogManager::initializeLogFileHandling();
}

std::unique_ptr<MoxIndexBTree> IndexTestDatabase::createIndex(IndexId id, bool unique) {
    MoxBufferManager* bufferMgr = MoxBufferManager::getInstance();
    bufferMgr->createSegment(segmentOf(id));
    bufferMgr->openSegment(segmentOf(id));
    auto tree = std::make_unique<MoxIndexBTree>();
    EXPECT_EQ(tree->initialTree(id, INTEGER, unique), MOX_SUCCESS);
    commit();
    return tree;
}

std::unique_ptr<MoxIndexBTree> IndexTestDatabase::buildTree(IndexId id,
                                                            const std::vector<std::vector<Sint32>>& leaves) {
    SegmentId segment = segmentOf(id);
    MoxBufferManager* bufferMgr = MoxBufferManager::getInstance();
    bufferMgr->createSegment(segment);
    bufferMgr->openSegment(segment);
    MoxIndexFreeSpaceInventory* fsi = MoxIndexFreeSpaceInventory::getInstance();
    fsi->initialize(segment);
    // The pages come from the inventory, so that it counts them.
    EXPECT_EQ(fsi->getFreeNodePage(segment, INTEGER)->pageId(), 1);
    for (size_t leaf = 0; leaf < leaves.size(); ++leaf) {
        EXPECT_EQ(fsi->getFreeLeafPage(segment, INTEGER)->pageId(), leaf + 2);
    }
    {
        MoxScopedPage root(segment, 1, MoxPage::BTreeIndexPage, MoxScopedPage::GetExistingPage);
        auto* node = reinterpret_cast<MoxIndexTreeNodePage::pageFormat*>(root->getPageData());
        node->firstChild = 2;
        for (size_t leaf = 0; leaf + 1 < leaves.size(); ++leaf) {
            node->keys[leaf].value = leaves[leaf].back();
            node->keys[leaf].nextChild = static_cast<PageId>(leaf + 3);
        }
        node->spaceLeft = static_cast<Uint16>(MoxIndexTreeNodePage::maxElements - (leaves.size() - 1));
    }
    for (size_t leaf = 0; leaf < leaves.size(); ++leaf) {
        MoxScopedPage page(segment, static_cast<PageId>(leaf + 2), MoxPage::BTreeIndexPage,
                           MoxScopedPage::GetExistingPage);
        auto* format = reinterpret_cast<MoxIndexTreeLeafPage::pageFormat*>(page->getPageData());
        for (size_t position = 0; position < leaves[leaf].size(); ++position) {
            format->keys[position] =
                MoxIndexIntegerTupleIdentifier(leaves[leaf][position], builtTupleId(leaf, position));
        }
        format->spaceLeft = static_cast<Uint16>(MoxIndexTreeLeafPage::maxElements - leaves[leaf].size());
        format->prevId = leaf == 0 ? 0 : static_cast<PageId>(leaf + 1);
        format->nextId = leaf + 1 == leaves.size() ? 0 : static_cast<PageId>(leaf + 3);
    }
    commit();
    auto tree = std::make_unique<MoxIndexBTree>();
    tree->openTree(id, INTEGER, false);
    return tree;
}

void IndexTestDatabase::endTransaction() {
    MoxBufferManager::getInstance()->commit();
    MoxLockManager::getInstance()->releaseAll();
    MoxTransactionManager::getInstance()->startNewTransaction();
}

void IndexTestDatabase::commit() {
    MoxIndexManager::getInstance()->commit();
    endTransaction();
}

void IndexTestDatabase::rollback() {
    // The analysis holds a copy of the whole log; it goes once the locks
    // are released, so that freeing it does not keep other processes waiting.
    MoxRecovery recovery;
    ASSERT_TRUE(recovery.AnalyseLog(MoxRecovery::INDEX));
    MoxBufferManager::getInstance()->rollback();
    MoxIndexManager::getInstance()->rollback(recovery);
    endTransaction();
}

std::string IndexTestDatabase::recover() {
    testing::internal::CaptureStdout();
    try {
        MoxIndexManager::getInstance()->recover();
    } catch (...) {
        // The capture ends with the failure, or the next one could not begin.
        testing::internal::GetCapturedStdout();
        throw;
    }
    return testing::internal::GetCapturedStdout();
}

void IndexTestDatabase::restartAfterCrash() {
    CommandResult stop = runCommand(MOX_STOP_COMMAND, {"moxstop", "force"});
    EXPECT_EQ(stop.exitCode, 0) << stop.standardError;
    startSystem();
}
