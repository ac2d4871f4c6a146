#include "MoxIndexManager.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "MoxIndexFreeSpaceInventory.h"
#include "MoxIndexTreePage.h"
#include "../buffer/MoxBufferManager.h"
#include "../buffer/MoxScopedPage.h"
#include "../lock/MoxLockManager.h"
#include "../log/MoxIndexLogEntry.h"
#include "../log/MoxLogManager.h"
#include "../support/MoxDebug.h"
#include "../support/MoxError.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"
#include "../transaction/MoxTransactionManager.h"

static const MoxComponent componentId = IndexManager;

// Raises a tree's result code with the text of the call, naming the tree as
// the current index or as one that had to be looked up.
#define MOX_IM_RAISE(rc, viaCurrent, callText)                                                        \
    MoxException::raise((rc), std::string((viaCurrent) ? "currentIndex->" : "mytree->") + (callText), \
                        std::string(__FILE__), __LINE__, std::string(__FUNCTION__))

namespace {

bool isPageChange(const MoxIndexLogEntry& entry) {
    int type = entry.getTransactionType();
    return entry.getPageID() != nullptr && type >= MoxAbstractLogEntry::VARCHAR_OPERATION &&
           type <= MoxAbstractLogEntry::INTEGER_UNDO;
}

// A redo of recovery writes the after image of a logged change once more:
// it repeats history that the log holds at its own place. Redone in log
// order it would take the page back to that older state, and undone it
// would put back what a crash left on disk; both passes leave it out.
bool isRepeat(const MoxIndexLogEntry& entry) {
    int type = entry.getTransactionType();
    return type == MoxAbstractLogEntry::INTEGER_REDO || type == MoxAbstractLogEntry::VARCHAR_REDO;
}

MoxDataType dataTypeOfChange(const MoxIndexLogEntry& entry) {
    return entry.getTransactionType() >= MoxAbstractLogEntry::INTEGER_OPERATION ? INTEGER : VARCHAR;
}

bool isMissingFile(const MoxException& exception) {
    return exception.getErrorCode() == MOX_FM_FILE_NOT_FOUND;
}

}  // namespace

MoxIndexManager* MoxIndexManager::instance = nullptr;

MoxIndexManager* MoxIndexManager::getInstance() {
    if (instance == nullptr) {
        instance = new MoxIndexManager();
    }
    return instance;
}

MoxIndexManager::MoxIndexManager()
    : bufferMgr(MoxBufferManager::getInstance()), currentIndexId(MOX_UNKNOWN_INDEX_ID), currentIndex(nullptr) {
    MOX_TRACE_ENTRY();
    MoxDebug::registerFunction(debugIndexAll, nullptr, "index_all", "Dumps all Pages of an Index");
    MoxDebug::registerFunction(debugIndexLeafs, nullptr, "index_leafs", "Dumps only the leaf of an Index");
    MoxDebug::registerFunction(debugIndexPage, nullptr, "index_page", "Dumps one page of the index");
    MoxDebug::registerFunction(debugIndexPages, nullptr, "index_pages", "Dumps an interval of Pages of an Index");
    MoxDebug::registerFunction(debugIndexFsi, nullptr, "index_fsi", "Dumps the FSI pages of the Index");
}

MoxIndexManager::~MoxIndexManager() {
    MOX_TRACE_ENTRY();
    if (instance == this) {
        instance = nullptr;
    }
}

SegmentId MoxIndexManager::segmentOf(IndexId index) {
    SegmentId segment = MoxBufferManager::convertIndexIdToSegmentId(index);
    if (segment == 0) {
        THROW_wARGS1(MOX_PARAMETER_FAIL, index);
    }
    return segment;
}

// --- Indexes ---

void MoxIndexManager::createIndex(IndexId index, bool unique, MoxIndexType type, MoxDataType dataType) {
    MOX_TRACE_ENTRY();
    SegmentId segment = segmentOf(index);
    if (dataType != INTEGER && dataType != VARCHAR) {
        THROW_wARGS2(MOX_PARAMETER_FAIL, index, dataType);
    }
    MoxLockManager::getInstance()->requestSegment(segment, MoxLockManager::ExclusiveLock, false);
    try {
        bufferMgr->createSegment(segment);
    } catch (const MoxException& exception) {
        if (exception.getErrorCode() == MOX_FM_FILE_ALREADY_EXISTS) {
            throw MoxException(exception, MOX_IM_INDEX_ALREADY_EXISTS, "bufferMgr->createSegment(segment)",
                               std::string(__FILE__), __LINE__, std::string(__FUNCTION__));
        }
        throw;
    }
    bufferMgr->openSegment(segment);
    if (type == Hash) {
        std::cout << "************** Hash ausgewählt " << std::endl;
        THROW(MOX_IM_NOT_IMPL_HASH);
    }
    if (type != BTree) {
        THROW(MOX_IM_INDEXTYPE_NOT_VALID);
    }
    auto tree = std::make_unique<MoxIndexBTree>();
    THROW_RC(tree->initialTree(index, dataType, unique));
    currentIndexId = index;
    currentIndex = tree.get();
    indexList[index] = std::move(tree);
}

void MoxIndexManager::dropIndex(IndexId index) {
    MOX_TRACE_ENTRY();
    SegmentId segment = segmentOf(index);
    MoxLockManager::getInstance()->requestSegment(segment, MoxLockManager::ExclusiveLock, false);
    bufferMgr->dropSegment(segment);
    if (currentIndexId == index) {
        currentIndexId = MOX_UNKNOWN_INDEX_ID;
        currentIndex = nullptr;
    }
    indexList.erase(index);
}

void MoxIndexManager::openIndex(IndexId index, bool unique, MoxIndexType, MoxDataType dataType) {
    MOX_TRACE_ENTRY();
    if (currentIndex != nullptr && currentIndexId == index) {
        return;
    }
    auto open = indexList.find(index);
    if (open == indexList.end()) {
        SegmentId segment = segmentOf(index);
        MoxLockManager::getInstance()->requestSegment(segment, MoxLockManager::SharedLock, false);
        bufferMgr->openSegment(segment);
        auto tree = std::make_unique<MoxIndexBTree>();
        tree->openTree(index, dataType, unique);
        open = indexList.emplace(index, std::move(tree)).first;
    }
    currentIndexId = index;
    currentIndex = open->second.get();
}

void MoxIndexManager::getIndex(IndexId index, MoxIndexBTree*& tree) {
    MOX_TRACE_ENTRY();
    auto open = indexList.find(index);
    if (open == indexList.end()) {
        THROW(MOX_IM_INDEX_NOT_OPENED);
    }
    currentIndexId = index;
    currentIndex = open->second.get();
    tree = currentIndex;
}

MoxIndexBTree& MoxIndexManager::route(IndexId index, bool& viaCurrent) {
    viaCurrent = currentIndex != nullptr && currentIndexId == index;
    if (!viaCurrent) {
        MoxIndexBTree* tree = nullptr;
        getIndex(index, tree);
    }
    return *currentIndex;
}

// --- Keys ---

void MoxIndexManager::find(IndexId index, const MoxIndexKey& key, TupleId& tid) {
    MOX_TRACE_ENTRY();
    bool viaCurrent = false;
    MoxIndexBTree& tree = route(index, viaCurrent);
    MOX_IM_RAISE(tree.find(index, key, tid), viaCurrent, "find(index, key, tid)");
}

void MoxIndexManager::findFirstKey(IndexId index, MoxIndexKey& key, TupleId& tid) {
    MOX_TRACE_ENTRY();
    bool viaCurrent = false;
    MoxIndexBTree& tree = route(index, viaCurrent);
    MOX_IM_RAISE(tree.findFirstKey(index, key, tid), viaCurrent, "findFirstKey(index, key, tid)");
}

void MoxIndexManager::findLastKey(IndexId index, MoxIndexKey& key, TupleId& tid) {
    MOX_TRACE_ENTRY();
    bool viaCurrent = false;
    MoxIndexBTree& tree = route(index, viaCurrent);
    MOX_IM_RAISE(tree.findLastKey(index, key, tid), viaCurrent, "findLastKey(index, key, tid)");
}

void MoxIndexManager::insert(IndexId index, const MoxIndexKey& key, const TupleId& tid) {
    MOX_TRACE_ENTRY();
    bool viaCurrent = false;
    MoxIndexBTree& tree = route(index, viaCurrent);
    MOX_IM_RAISE(tree.insertKey(key, tid), viaCurrent, "insertKey(key, tid)");
}

void MoxIndexManager::remove(IndexId index, const MoxIndexKey& key, const TupleId* tid) {
    MOX_TRACE_ENTRY();
    bool viaCurrent = false;
    MoxIndexBTree& tree = route(index, viaCurrent);
    MoxErrorCode rc = tree.deleteKey(index, key, tid);
    if (rc != MOX_NOT_FOUND_WARN) {
        MOX_IM_RAISE(rc, viaCurrent, "deleteKey(index, key, tid)");
    }
}

void MoxIndexManager::update(IndexId index, const MoxIndexKey& oldKey, const MoxIndexKey& newKey, const TupleId* tid) {
    MOX_TRACE_ENTRY();
    if (tid == nullptr) {
        THROW_wARGS1(MOX_PARAMETER_FAIL, index);
    }
    bool viaCurrent = false;
    MoxIndexBTree& tree = route(index, viaCurrent);
    // Refused before the old entry goes, so that the row keeps its key.
    if (tree.isUnique() && !(oldKey == newKey) && tree.checkUnique(newKey)) {
        MOX_IM_RAISE(MOX_IM_DUPLICATE_KEY_IN_UNIQUE_INDEX, viaCurrent, "insertKey(key, tid)");
    }
    MoxErrorCode removed = tree.deleteKey(index, oldKey, tid);
    if (removed != MOX_NOT_FOUND_WARN) {
        MOX_IM_RAISE(removed, viaCurrent, "deleteKey(index, key, tid)");
    }
    MoxErrorCode inserted = tree.insertKey(newKey, *tid);
    if (inserted != MOX_SUCCESS && removed == MOX_SUCCESS) {
        // Another transaction may have taken the key since the check.
        MoxErrorCode restored = tree.insertKey(oldKey, *tid);
        if (restored != MOX_SUCCESS) {
            MOX_TRACE_ERROR();
        }
    }
    MOX_IM_RAISE(inserted, viaCurrent, "insertKey(key, tid)");
}

MoxDataType MoxIndexManager::dataTypeOf(IndexId index) {
    MOX_TRACE_ENTRY();
    auto open = indexList.find(index);
    if (open != indexList.end()) {
        return open->second->getDataType();
    }
    SegmentId segment = segmentOf(index);
    bufferMgr->openSegment(segment);
    MoxScopedPage root(segment, MoxIndexTreePage::ROOT_PAGE_ID, MoxPage::BTreeIndexPage,
                       MoxScopedPage::GetExistingPage);
    return MoxIndexTreePage::dataTypeOf(*root.getPage());
}

void MoxIndexManager::findRange(IndexId index, const MoxIndexKey* start, const MoxIndexKey* stop,
                                MoxIndexIterator*& iterator) {
    MOX_TRACE_ENTRY();
    MoxDataType dataType = dataTypeOf(index);
    for (const MoxIndexKey* bound : {start, stop}) {
        if (bound != nullptr &&
            (bound->dataType != dataType || (dataType == VARCHAR && bound->varcharKey == nullptr))) {
            THROW_wARGS2(MOX_PARAMETER_FAIL, index, bound->dataType);
        }
    }
    auto created = std::make_unique<MoxIndexIterator>(index, start, stop, dataType);
    THROW_RC(created->getResetResult());
    iterator = created.release();
}

// --- Transactions ---

void MoxIndexManager::endEntry(const MoxTransactionId& transaction, MoxAbstractLogEntry::transType type) {
    MOX_TRACE_ENTRY();
    MoxIndexLogEntry entry(transaction, nullptr, 0, nullptr, 0, nullptr, 0, type);
    MoxLogManager::getInstance()->createLogEntry(&entry);
}

void MoxIndexManager::commit() {
    MOX_TRACE_ENTRY();
    endEntry(MoxTransactionManager::getInstance()->getCurrentTransactionID(), MoxAbstractLogEntry::COMMIT);
}

void MoxIndexManager::rollback() {
    MOX_TRACE_ENTRY();
    MoxRecovery recovery;
    if (!recovery.AnalyseLog(MoxRecovery::INDEX)) {
        THROW(MOX_INTERNAL_FAIL);
    }
    rollback(recovery);
}

void MoxIndexManager::rollback(MoxRecovery& recovery) {
    MOX_TRACE_ENTRY();
    MoxTransactionId transaction = MoxTransactionManager::getInstance()->getCurrentTransactionID();
    if (!recovery.makeRollbackLists(MoxRecovery::INDEX, transaction)) {
        THROW(MOX_INTERNAL_FAIL);
    }
    MoxRecovery::undoIndexEntries(recovery.getIndexRollbackList(), recovery.getIndexRollbackListLength(), *this);
    endEntry(transaction, MoxAbstractLogEntry::ROLLBACK);
    // An index that the transaction created is gone with its segment.
    for (auto open = indexList.begin(); open != indexList.end();) {
        try {
            bufferMgr->openSegment(open->second->getSegmentId());
            ++open;
        } catch (const MoxException& exception) {
            if (!isMissingFile(exception)) {
                throw;
            }
            if (currentIndex == open->second.get()) {
                currentIndexId = MOX_UNKNOWN_INDEX_ID;
                currentIndex = nullptr;
            }
            open = indexList.erase(open);
        }
    }
}

void MoxIndexManager::restoreIntegerPage(const MoxIndexLogEntry& entry) {
    MOX_TRACE_ENTRY();
    undo(entry);
}

void MoxIndexManager::restoreVarcharPage(const MoxIndexLogEntry& entry) {
    MOX_TRACE_ENTRY();
    undo(entry);
}

void MoxIndexManager::undo(const MoxIndexLogEntry& entry) {
    MOX_TRACE_ENTRY();
    if (!isRepeat(entry)) {
        reapply(entry, false);
    }
}

bool MoxIndexManager::reapply(const MoxIndexLogEntry& entry, bool redo) {
    MOX_TRACE_ENTRY();
    SegmentId segment = entry.getSegmentID();
    PageId pageId = *entry.getPageID();
    MoxDataType dataType = dataTypeOfChange(entry);
    std::unique_ptr<MoxIndexTreePage> page;
    try {
        page = MoxIndexTreePage::get(segment, pageId, dataType);
    } catch (const MoxException& exception) {
        if (isMissingFile(exception)) {
            return false;
        }
        if (exception.getErrorCode() != MOX_BM_PAGE_NOT_FOUND) {
            throw;
        }
    }
    if (page == nullptr) {
        // The crash took the page before the pool wrote it: it starts as the
        // entry found it.
        const char* before = entry.getBeforePage();
        size_t length = static_cast<size_t>(entry.getBpl());
        if (before == nullptr || length != MOX_PAGE_SIZE) {
            THROW_wARGS3(MOX_PARAMETER_FAIL, segment, pageId, length);
        }
        {
            MoxScopedPage created(segment, pageId, MoxPage::BTreeIndexPage, MoxScopedPage::CreateNewPage);
            memcpy(created->getPageData() + sizeof(MoxPage::PageHeader), before + sizeof(MoxPage::PageHeader),
                   length - sizeof(MoxPage::PageHeader));
        }
        page = MoxIndexTreePage::get(segment, pageId, dataType);
    }
    if (redo) {
        page->redoOperation(entry.getAfterPage(), entry.getApl());
    } else {
        page->undoOperation(entry.getBeforePage(), entry.getBpl());
    }
    return true;
}

void MoxIndexManager::ensureInventory(SegmentId segment) {
    MOX_TRACE_ENTRY();
    bufferMgr->openSegment(segment);
    MoxIndexFreeSpaceInventory* fsi = MoxIndexFreeSpaceInventory::getInstance();
    try {
        fsi->getLastPageId(segment);
    } catch (const MoxException& exception) {
        if (exception.getErrorCode() != MOX_BM_PAGE_NOT_FOUND) {
            throw;
        }
        // Inventory pages are not logged: the one the crash took starts
        // empty, and the pages that the log names fill it.
        fsi->initialize(segment);
    }
}

void MoxIndexManager::recover() {
    MOX_TRACE_ENTRY();
    MoxRecovery recovery;
    if (!recovery.AnalyseLog(MoxRecovery::INDEX)) {
        THROW(MOX_INTERNAL_FAIL);
    }
    recover(recovery);
}

int MoxIndexManager::findRedoStart(MoxRecovery& recovery, std::vector<bool>& skip) {
    MOX_TRACE_ENTRY();
    const MoxIndexLogEntry* redo = recovery.getIndexRedoList();
    int count = recovery.getIndexRedoListLength();
    // A page that an earlier recovery redid carries the LSN of the repeat,
    // which says nothing about the history it holds: such a page is redone
    // from its first logged change.
    std::set<MoxLsn> repeats;
    for (int i = 0; i < count; ++i) {
        if (isRepeat(redo[i])) {
            repeats.insert(redo[i].getLsn());
        }
    }
    for (int i = 0; i < count; ++i) {
        if (!isPageChange(redo[i]) || isRepeat(redo[i])) {
            continue;
        }
        try {
            bufferMgr->openSegment(redo[i].getSegmentID());
            MoxScopedPage page(redo[i].getSegmentID(), *redo[i].getPageID(), MoxPage::BTreeIndexPage,
                               MoxScopedPage::GetExistingPage);
            if (page->getLsn() < redo[i].getLsn() || repeats.count(page->getLsn()) != 0) {
                return i;
            }
        } catch (const MoxException& exception) {
            if (exception.getErrorCode() == MOX_BM_PAGE_NOT_FOUND) {
                return i;
            }
            if (!isMissingFile(exception)) {
                throw;
            }
            skip[i] = true;
        }
    }
    return count;
}

void MoxIndexManager::recover(MoxRecovery& recovery) {
    MOX_TRACE_ENTRY();
    if (!recovery.makeUndoLists(MoxRecovery::INDEX)) {
        THROW(MOX_INTERNAL_FAIL);
    }
    PagesBySegment pages = pagesInLog(recovery);
    const MoxIndexLogEntry* redo = recovery.getIndexRedoList();
    int count = recovery.getIndexRedoListLength();
    std::vector<bool> skip(static_cast<size_t>(count), false);
    int start = findRedoStart(recovery, skip);
    if (start < count) {
        std::cout << "Calculated starting point for REDO is at LogEntry with LSN " << redo[start].getLsn() << std::endl;
    }
    for (int i = start; i < count; ++i) {
        if (!skip[static_cast<size_t>(i)] && isPageChange(redo[i]) && !isRepeat(redo[i])) {
            reapply(redo[i], true);
        }
    }
    // Ended before any undo, so that no later recovery takes the redone
    // pages back to what the crash left on disk.
    endRecoveryTransaction();
    MoxIndexLogEntry** undo = recovery.getIndexUndoList();
    int undoCount = recovery.getIndexUndoListLength();
    MoxRecovery::undoIndexEntries(undo, undoCount, *this);
    for (const auto& [segment, named] : pages) {
        for (const auto& [pageId, dataType] : named) {
            MoxIndexTreePage::syncInventory(segment, pageId, dataType);
        }
    }
    // The undo is committed before the undone transactions are ended: a
    // crash in between undoes them once more, where the other order would
    // undo the undo and bring their changes back.
    endRecoveryTransaction();
    std::set<std::pair<Sint32, Uint16>> ended;
    for (int i = 0; i < undoCount; ++i) {
        MoxTransactionId transaction = undo[i]->getTransactionID();
        if (ended.insert({transaction.getProcessId(), transaction.getUniqueCount()}).second) {
            endEntry(transaction, MoxAbstractLogEntry::ROLLBACK);
        }
    }
}

void MoxIndexManager::endRecoveryTransaction() {
    MOX_TRACE_ENTRY();
    MoxTransactionManager* transactions = MoxTransactionManager::getInstance();
    endEntry(transactions->getCurrentTransactionID(), MoxAbstractLogEntry::COMMIT);
    MoxLockManager::getInstance()->releaseAll();
    transactions->startNewTransaction();
}

MoxIndexManager::PagesBySegment MoxIndexManager::pagesInLog(MoxRecovery& recovery) {
    MOX_TRACE_ENTRY();
    PagesBySegment pages;
    const MoxIndexLogEntry* redo = recovery.getIndexRedoList();
    for (int i = 0; i < recovery.getIndexRedoListLength(); ++i) {
        if (isPageChange(redo[i])) {
            pages[redo[i].getSegmentID()][*redo[i].getPageID()] = dataTypeOfChange(redo[i]);
        }
    }
    // Indexes dropped since have nothing to recover.
    for (auto named = pages.begin(); named != pages.end();) {
        try {
            ensureInventory(named->first);
            ++named;
        } catch (const MoxException& exception) {
            if (!isMissingFile(exception)) {
                throw;
            }
            named = pages.erase(named);
        }
    }
    return pages;
}

// --- Dumps ---

void MoxIndexManager::dump_current() {
    MOX_TRACE_ENTRY();
    if (currentIndex != nullptr) {
        currentIndex->dump();
    }
}

void MoxIndexManager::dump_all() {
    MOX_TRACE_ENTRY();
    for (auto& [index, tree] : indexList) {
        currentIndexId = index;
        currentIndex = tree.get();
        tree->dump();
    }
}

void MoxIndexManager::show(IndexId index, PageId from, PageId to, bool full) {
    MOX_TRACE_ENTRY();
    if (to < from && to != MOX_MAX_PAGE_ID) {
        THROW(MOX_NOT_FOUND_WARN);
    }
    MoxIndexBTree* tree = nullptr;
    getIndex(index, tree);
    tree->dump();
    if (to == MOX_MAX_PAGE_ID) {
        MoxIndexFreeSpaceInventory::getInstance()->dump(tree->getSegmentId(), full);
        tree->dump(from, full, true);
        return;
    }
    for (Uint32 page = from; page <= to; ++page) {
        try {
            tree->dump(static_cast<int>(page), full, false);
        } catch (const MoxException& exception) {
            if (exception.getErrorCode() != MOX_BM_PAGE_NOT_FOUND) {
                throw;
            }
            break;
        }
    }
}

void MoxIndexManager::runIndexCommand(
    const char* args, size_t wordCount, const char* usage,
    const std::function<void(MoxIndexManager&, bool, IndexId, const PageId*)>& action) {
    MOX_TRACE_ENTRY();
    std::string text = args == nullptr ? std::string() : std::string(args);
    std::vector<std::string> words;
    boost::split(words, text, boost::is_any_of(" "));
    // Numbers are decimal and within a page number's range; anything else
    // would name another index or page than the one meant.
    Uint16 numbers[3] = {0, 0, 0};
    bool wellFormed = words.size() == wordCount;
    for (size_t i = 1; wellFormed && i < words.size(); ++i) {
        const std::string& word = words[i];
        wellFormed = !word.empty() && word.size() <= 5 && word.find_first_not_of("0123456789") == std::string::npos &&
                     atoi(word.c_str()) <= MOX_MAX_PAGE_ID;
        numbers[i - 1] = static_cast<Uint16>(atoi(word.c_str()));
    }
    if (!wellFormed) {
        std::cout << "Wrong Parameters\n" << usage << std::endl;
        return;
    }
    if (words[0] != "info" && words[0] != "dump") {
        std::cout << "Error\n" << words[0] << " is a unknown parameter" << std::endl;
        return;
    }
    try {
        action(*getInstance(), words[0] == "dump", numbers[0], numbers + 1);
    } catch (const MoxException& exception) {
        std::cout << "Error" << std::endl;
        exception.print(std::cout);
    }
    std::cout.flush();
}

void MoxIndexManager::debugIndexAll(const char* args) {
    MOX_TRACE_ENTRY();
    runIndexCommand(args, 2, "USAGE: show index_all info|dump <indexId>",
                    [](MoxIndexManager& manager, bool full, IndexId index, const PageId*) {
                        manager.show(index, MoxIndexTreePage::ROOT_PAGE_ID, MOX_MAX_PAGE_ID, full);
                    });
}

void MoxIndexManager::debugIndexLeafs(const char* args) {
    MOX_TRACE_ENTRY();
    runIndexCommand(args, 2, "USAGE: show index_leafs info|dump <indexId> ",
                    [](MoxIndexManager& manager, bool full, IndexId index, const PageId*) {
                        MoxIndexBTree* tree = nullptr;
                        manager.getIndex(index, tree);
                        tree->dump();
                        tree->dumpLeafs(full);
                    });
}

void MoxIndexManager::debugIndexPage(const char* args) {
    MOX_TRACE_ENTRY();
    runIndexCommand(args, 3, "USAGE: show index_page info|dump <indexId> <pageId>",
                    [](MoxIndexManager& manager, bool full, IndexId index, const PageId* pages) {
                        manager.show(index, pages[0], pages[0], full);
                    });
}

void MoxIndexManager::debugIndexPages(const char* args) {
    MOX_TRACE_ENTRY();
    runIndexCommand(args, 4, "USAGE: show index_pages info|dump <indexId> <pageId1> <pageId2>",
                    [](MoxIndexManager& manager, bool full, IndexId index, const PageId* pages) {
                        manager.show(index, pages[0], pages[1], full);
                    });
}

void MoxIndexManager::debugIndexFsi(const char* args) {
    MOX_TRACE_ENTRY();
    runIndexCommand(args, 2, "USAGE: show index_fsi info|dump <indexId>",
                    [](MoxIndexManager& manager, bool full, IndexId index, const PageId*) {
                        SegmentId segment = segmentOf(index);
                        manager.bufferMgr->openSegment(segment);
                        MoxIndexFreeSpaceInventory::getInstance()->dump(segment, full);
                    });
}
