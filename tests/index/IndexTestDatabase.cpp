#include "IndexTestDatabase.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "common/ChildProcess.h"

namespace {

// Restores pages from before images as the index manager does.
class PageRestorer : public MoxIndexUndoHandler {
  public:
    void restoreIntegerPage(const MoxIndexLogEntry& entry) override { restore(entry, INTEGER); }
    void restoreVarcharPage(const MoxIndexLogEntry& entry) override { restore(entry, VARCHAR); }

  private:
    static void restore(const MoxIndexLogEntry& entry, MoxDataType dataType) {
        MoxIndexTreePage::get(entry.getSegmentID(), *entry.getPageID(), dataType)
            ->undoOperation(entry.getBeforePage(), entry.getBpl());
    }
};

bool isPageChange(const MoxIndexLogEntry& entry) {
    int type = entry.getTransactionType();
    return entry.getPageID() != nullptr && type >= MoxAbstractLogEntry::VARCHAR_OPERATION &&
           type <= MoxAbstractLogEntry::INTEGER_UNDO;
}

MoxDataType dataTypeOf(const MoxIndexLogEntry& entry) {
    return entry.getTransactionType() >= MoxAbstractLogEntry::INTEGER_OPERATION ? INTEGER : VARCHAR;
}

// The entry's page, created from its before image when the crash took it.
std::unique_ptr<MoxIndexTreePage> fetchOrCreate(const MoxIndexLogEntry& entry) {
    SegmentId segment = entry.getSegmentID();
    PageId page = *entry.getPageID();
    try {
        return MoxIndexTreePage::get(segment, page, dataTypeOf(entry));
    } catch (const MoxException& exception) {
        if (exception.getErrorCode() != MOX_BM_PAGE_NOT_FOUND) throw;
    }
    {
        MoxScopedPage created(segment, page, MoxPage::BTreeIndexPage, MoxScopedPage::CreateNewPage);
        memcpy(created->getPageData(), entry.getBeforePage(), static_cast<size_t>(entry.getBpl()));
    }
    return MoxIndexTreePage::get(segment, page, dataTypeOf(entry));
}

// Whether the entry's change is missing from its page.
bool pageLacks(const MoxIndexLogEntry& entry) {
    MoxBufferManager::getInstance()->openSegment(entry.getSegmentID());
    try {
        MoxScopedPage page(entry.getSegmentID(), *entry.getPageID(), MoxPage::BTreeIndexPage,
                           MoxScopedPage::GetExistingPage);
        return page->getLsn() < entry.getLsn();
    } catch (const MoxException& exception) {
        if (exception.getErrorCode() != MOX_BM_PAGE_NOT_FOUND) throw;
        return true;
    }
}

}  // namespace

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

void IndexTestDatabase::endTransaction(MoxAbstractLogEntry::transType type) {
    MoxTransactionManager* transactions = MoxTransactionManager::getInstance();
    MoxIndexLogEntry end(transactions->getCurrentTransactionID(), nullptr, 0, nullptr, 0, nullptr, 0, type);
    MoxLogManager::getInstance()->createLogEntry(&end);
    MoxBufferManager::getInstance()->commit();
    MoxLockManager::getInstance()->releaseAll();
    transactions->startNewTransaction();
}

void IndexTestDatabase::commit() {
    endTransaction(MoxAbstractLogEntry::COMMIT);
}

void IndexTestDatabase::rollback() {
    MoxRecovery recovery;
    recovery.rollbackTransaction(MoxRecovery::INDEX, MoxTransactionManager::getInstance()->getCurrentTransactionID());
    PageRestorer restorer;
    MoxRecovery::undoIndexEntries(recovery.getIndexRollbackList(), recovery.getIndexRollbackListLength(), restorer);
    endTransaction(MoxAbstractLogEntry::ROLLBACK);
}

void IndexTestDatabase::recover() {
    MoxRecovery recovery;
    testing::internal::CaptureStdout();
    recovery.recoverDb(MoxRecovery::INDEX);
    testing::internal::GetCapturedStdout();
    MoxIndexLogEntry* redo = recovery.getIndexRedoList();
    int count = recovery.getIndexRedoListLength();
    int start = 0;
    while (start < count && !(isPageChange(redo[start]) && pageLacks(redo[start]))) {
        ++start;
    }
    for (int i = start; i < count; ++i) {
        if (isPageChange(redo[i])) {
            fetchOrCreate(redo[i])->redoOperation(redo[i].getAfterPage(), redo[i].getApl());
        }
    }
    MoxIndexLogEntry** undo = recovery.getIndexUndoList();
    int undoCount = recovery.getIndexUndoListLength();
    PageRestorer restorer;
    MoxRecovery::undoIndexEntries(undo, undoCount, restorer);
    std::set<std::string> ended;
    for (int i = 0; i < undoCount; ++i) {
        MoxTransactionId transaction = undo[i]->getTransactionID();
        if (ended.insert(transaction.dump()).second) {
            MoxIndexLogEntry end(transaction, nullptr, 0, nullptr, 0, nullptr, 0, MoxAbstractLogEntry::ROLLBACK);
            MoxLogManager::getInstance()->createLogEntry(&end);
        }
    }
    commit();
}

void IndexTestDatabase::restartAfterCrash() {
    CommandResult stop = runCommand(MOX_STOP_COMMAND, {"moxstop", "force"});
    EXPECT_EQ(stop.exitCode, 0) << stop.standardError;
    startSystem();
}
