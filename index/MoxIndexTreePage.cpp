#include "MoxIndexTreePage.h"

#include <sched.h>

#include <cstring>

#include "MoxIndexFreeSpaceInventory.h"
#include "MoxIndexTreeLeafPage.h"
#include "MoxIndexTreeNodePage.h"
#include "../buffer/MoxBufferManager.h"
#include "../log/MoxIndexLogEntry.h"
#include "../log/MoxLogManager.h"
#include "../support/MoxError.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"
#include "../transaction/MoxTransactionManager.h"

static const MoxComponent componentId = IndexManager;

namespace {

// More levels than any tree of 65535 pages can have: a longer descent runs
// through a damaged page.
const size_t maxTreeDepth = 32;

}  // namespace

MoxIndexTreePage::MoxIndexTreePage(MoxPage* frame, MoxDataType dataType)
    : dataType(dataType),
      readLocked(false),
      writeLocked(false),
      savedPageData(),
      page(frame),
      sId(frame->getSegmentId()),
      pId(frame->getPageId()) {}

MoxIndexTreePage::~MoxIndexTreePage() {
    try {
        release();
    } catch (const MoxException& exception) {
        exception.SET_ERROR();
        MOX_TRACE_ERROR();
    }
}

bool MoxIndexTreePage::isRoot() const {
    return pId == ROOT_PAGE_ID;
}

SegmentId MoxIndexTreePage::segmentId() const {
    return sId;
}

PageId MoxIndexTreePage::pageId() const {
    return pId;
}

std::unique_ptr<MoxIndexTreePage> MoxIndexTreePage::get(SegmentId segment, PageId pageId, MoxDataType dataType) {
    MOX_TRACE_ENTRY();
    MoxBufferManager* bufferMgr = MoxBufferManager::getInstance();
    bufferMgr->openSegment(segment);
    MoxPage* frame = nullptr;
    bufferMgr->getPage(segment, pageId, MoxPage::BTreeIndexPage, frame);
    return adopt(frame, dataType, holdsLeaf(*frame) ? Leaf : Node, false);
}

std::unique_ptr<MoxIndexTreePage> MoxIndexTreePage::adopt(MoxPage* frame, MoxDataType dataType, Kind kind,
                                                          bool newPage) {
    MOX_TRACE_ENTRY();
    switch (dataType) {
        case INTEGER:
            if (kind == Leaf) {
                return std::make_unique<MoxIndexTreeLeafPage>(frame, newPage);
            }
            return std::make_unique<MoxIndexTreeNodePage>(frame, newPage);
        default:
            MoxBufferManager::getInstance()->releasePage(frame);
            THROW(MOX_INTERNAL_FAIL);
    }
}

bool MoxIndexTreePage::holdsLeaf(const MoxPage& frame) {
    return frame.getPageData()[LEAF_FLAG_OFFSET] != 0;
}

bool MoxIndexTreePage::matchesPage() const {
    return holdsLeaf(*page) == isLeaf();
}

void MoxIndexTreePage::release() {
    if (page != nullptr) {
        MoxBufferManager::getInstance()->releasePage(page);
    }
}

void MoxIndexTreePage::lock(MoxLockManager::LockType type) {
    MOX_TRACE_ENTRY();
    if (writeLocked || (type == MoxLockManager::SharedLock && readLocked)) {
        return;
    }
    MoxLockManager::getInstance()->requestPage(sId, pId, type, false);
    (type == MoxLockManager::SharedLock ? readLocked : writeLocked) = true;
}

bool MoxIndexTreePage::tryLock(MoxLockManager::LockType type) {
    MOX_TRACE_ENTRY();
    if (writeLocked || (type == MoxLockManager::SharedLock && readLocked)) {
        return true;
    }
    if (!MoxLockManager::getInstance()->tryRequestPage(sId, pId, type, false)) {
        return false;
    }
    (type == MoxLockManager::SharedLock ? readLocked : writeLocked) = true;
    return true;
}

void MoxIndexTreePage::savePageDataBeforeWrite() {
    if (savedPageData == nullptr) {
        savedPageData = std::make_unique<unsigned char[]>(MOX_PAGE_SIZE);
    }
    memcpy(savedPageData.get(), bytes(), MOX_PAGE_SIZE);
}

void MoxIndexTreePage::beforeWrite() {
    MOX_TRACE_ENTRY();
    lock(MoxLockManager::ExclusiveLock);
    savePageDataBeforeWrite();
}

void MoxIndexTreePage::afterWrite(MoxAbstractLogEntry::transType transType) {
    MOX_TRACE_ENTRY();
    MoxLsn lsn;
    try {
        lsn = writeLogEntry(transType);
    } catch (const MoxException&) {
        // An unlogged change could never be undone: take it back.
        if (savedPageData != nullptr) {
            memcpy(bytes(), savedPageData.get(), MOX_PAGE_SIZE);
            savedPageData.reset();
        }
        throw;
    }
    THROW_RC(page->markAsModified(lsn));
}

MoxLsn MoxIndexTreePage::writeLogEntry(MoxAbstractLogEntry::transType transType) {
    MOX_TRACE_ENTRY();
    if (savedPageData == nullptr) {
        THROW(MOX_INTERNAL_FAIL);
    }
    PageId id = pId;
    MoxIndexLogEntry entry(MoxTransactionManager::getInstance()->getCurrentTransactionID(), &id, sId,
                           reinterpret_cast<const char*>(savedPageData.get()), MOX_PAGE_SIZE,
                           reinterpret_cast<const char*>(bytes()), MOX_PAGE_SIZE, transType);
    MoxLsn lsn = MoxLogManager::getInstance()->createLogEntry(&entry);
    savedPageData.reset();
    return lsn;
}

MoxAbstractLogEntry::transType MoxIndexTreePage::operationType() const {
    return dataType == VARCHAR ? MoxAbstractLogEntry::VARCHAR_OPERATION : MoxAbstractLogEntry::INTEGER_OPERATION;
}

void MoxIndexTreePage::undoOperation(const char* image, int length) {
    MOX_TRACE_ENTRY();
    restore(image, length, MoxAbstractLogEntry::INTEGER_UNDO, MoxAbstractLogEntry::VARCHAR_UNDO);
}

void MoxIndexTreePage::redoOperation(const char* image, int length) {
    MOX_TRACE_ENTRY();
    restore(image, length, MoxAbstractLogEntry::INTEGER_REDO, MoxAbstractLogEntry::VARCHAR_REDO);
}

void MoxIndexTreePage::restore(const char* image, int length, MoxAbstractLogEntry::transType integerType,
                               MoxAbstractLogEntry::transType varcharType) {
    MOX_TRACE_ENTRY();
    if (dataType != INTEGER && dataType != VARCHAR) {
        THROW(MOX_INTERNAL_FAIL);
    }
    // An image of another page, or a torn one, would overwrite this page
    // with bytes that the buffer manager and the tree cannot use.
    MoxPage::PageHeader header = {};
    if (image == nullptr || length < static_cast<int>(sizeof(header)) || length > MOX_PAGE_SIZE) {
        THROW_wARGS2(MOX_PARAMETER_FAIL, pId, length);
    }
    memcpy(&header, image, sizeof(header));
    if (header.pageId != pId || header.pageType != MoxPage::BTreeIndexPage) {
        THROW_wARGS2(MOX_PARAMETER_FAIL, pId, header.pageId);
    }
    beforeWrite();
    memcpy(bytes(), image, static_cast<size_t>(length));
    keepInventoryInStep();
    afterWrite(dataType == INTEGER ? integerType : varcharType);
}

void MoxIndexTreePage::keepInventoryInStep() {
    MOX_TRACE_ENTRY();
    // The image may be of the other kind than this object: a fresh object
    // reads the page as it is now.
    bool inUse = false;
    {
        std::unique_ptr<MoxIndexTreePage> current = get(sId, pId, dataType);
        inUse = current->isRoot() || !current->empty() || current->prevId() != NO_PAGE || current->nextId() != NO_PAGE;
    }
    // Only a page that a split took from the inventory returns to its
    // freshly formatted state: an emptied leaf stays linked into its level.
    MoxIndexFreeSpaceInventory* fsi = MoxIndexFreeSpaceInventory::getInstance();
    fsi->reservePageId(sId, pId);
    if (inUse) {
        fsi->removeFreePageId(sId, pId);
    } else {
        PageId fsiPage = 0;
        Uint32 offset = 0;
        if (!fsi->findFreePageId(sId, pId, fsiPage, offset)) {
            fsi->setFreePageId(sId, pId);
        }
    }
}

bool MoxIndexTreePage::descend(const MoxIndexKey& key, Path& path) {
    MOX_TRACE_ENTRY();
    int refused = 0;
    while (!path.back()->isLeaf()) {
        MoxIndexTreePage& top = *path.back();
        if (!top.tryLock(MoxLockManager::SharedLock)) {
            path.resize(1);
            if (++refused == DESCENT_ATTEMPTS) {
                return false;
            }
            // The holder of the exclusive lock needs the processor to finish.
            sched_yield();
            continue;
        }
        if (path.size() == maxTreeDepth) {
            THROW_wARGS2(MOX_INTERNAL_FAIL, sId, top.pageId());
        }
        path.push_back(get(sId, top.childFor(key), dataType));
    }
    return true;
}

std::unique_ptr<MoxIndexTreePage> MoxIndexTreePage::edgeLeaf(bool leftmost) {
    MOX_TRACE_ENTRY();
    std::unique_ptr<MoxIndexTreePage> below;
    MoxIndexTreePage* at = this;
    for (size_t depth = 0; !at->isLeaf(); ++depth) {
        if (depth == maxTreeDepth) {
            THROW_wARGS2(MOX_INTERNAL_FAIL, sId, at->pageId());
        }
        at->lock(MoxLockManager::SharedLock);
        below = get(sId, leftmost ? at->getFirstChild() : at->getLastChild(), dataType);
        at = below.get();
    }
    return below != nullptr ? std::move(below) : get(sId, pId, dataType);
}

std::unique_ptr<MoxIndexTreePage> MoxIndexTreePage::getLeaf(PageId leaf) const {
    std::unique_ptr<MoxIndexTreePage> next = get(sId, leaf, dataType);
    if (!next->isLeaf()) {
        THROW_wARGS3(MOX_IM_NO_LEAF_PAGE, leaf, sId, "inner node");
    }
    return next;
}

void MoxIndexTreePage::walkLeaves(bool rightwards, const std::function<bool(MoxIndexTreePage&)>& step) {
    MOX_TRACE_ENTRY();
    std::unique_ptr<MoxIndexTreePage> neighbour;
    MoxIndexTreePage* at = this;
    // A chain longer than the segment has pages runs in a circle.
    for (Uint32 visited = 0; step(*at); ++visited) {
        PageId next = rightwards ? at->nextId() : at->prevId();
        if (next == NO_PAGE || next == at->pageId()) {
            return;
        }
        if (visited > MOX_MAX_PAGE_ID) {
            THROW_wARGS2(MOX_INTERNAL_FAIL, sId, next);
        }
        neighbour = getLeaf(next);
        at = neighbour.get();
    }
}

std::unique_ptr<MoxIndexTreePage> MoxIndexTreePage::extractRoot() {
    MOX_TRACE_ENTRY();
    if (!isRoot()) {
        return nullptr;
    }
    beforeWrite();
    std::unique_ptr<unsigned char[]> content = std::move(savedPageData);
    MoxPage* fresh = MoxIndexFreeSpaceInventory::getInstance()->getFreePage(sId);
    // The root object takes over the fix of page 1 and its pending before
    // image; this object stands for the fresh page from here on.
    std::unique_ptr<MoxIndexTreePage> root = adopt(page, dataType, Node, false);
    root->writeLocked = true;
    page = fresh;
    pId = fresh->getPageId();
    readLocked = false;
    writeLocked = true;
    formatEmpty();
    THROW_RC(page->markAsModified(MoxLsn::dummyLSN()));
    // Each page's change is logged as what it is, so that undo and redo
    // restore both: the fresh page from empty to the root's content ...
    beforeWrite();
    memcpy(bytes() + sizeof(MoxPage::PageHeader), content.get() + sizeof(MoxPage::PageHeader),
           MOX_PAGE_SIZE - sizeof(MoxPage::PageHeader));
    afterWrite(operationType());
    // ... and page 1 from that content to an empty inner node.
    root->savedPageData = std::move(content);
    root->formatEmpty();
    root->afterWrite(operationType());
    return root;
}
