#include "MoxIndexTreePage.h"

#include <sched.h>

#include <cstring>
#include <iostream>
#include <string>

#include "MoxIndexFreeSpaceInventory.h"
#include "MoxIndexTreeLeafPage.h"
#include "MoxIndexTreeNodePage.h"
#include "MoxIndexVarcharTreeLeafPage.h"
#include "MoxIndexVarcharTreeNodePage.h"
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

PageId MoxIndexTreePage::nextId() const {
    return header()->nextId;
}

PageId MoxIndexTreePage::prevId() const {
    return header()->prevId;
}

void MoxIndexTreePage::setNextId(PageId page) {
    MOX_TRACE_ENTRY();
    if (header()->nextId != page) {
        loggedChange([&] { header()->nextId = page; });
    }
}

void MoxIndexTreePage::setPrevId(PageId page) {
    MOX_TRACE_ENTRY();
    if (header()->prevId != page) {
        loggedChange([&] { header()->prevId = page; });
    }
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
    MoxErrorCode refusal = MOX_SUCCESS;
    if (dataType != INTEGER && dataType != VARCHAR) {
        refusal = MOX_INTERNAL_FAIL;
    } else if (!newPage && dataTypeOf(*frame) != dataType) {
        // Read as the other key type, the entries would be garbage.
        refusal = MOX_PARAMETER_FAIL;
    }
    if (refusal != MOX_SUCCESS) {
        SegmentId segment = frame->getSegmentId();
        PageId pageId = frame->getPageId();
        MoxBufferManager::getInstance()->releasePage(frame);
        THROW_wARGS3(refusal, segment, pageId, dataType);
    }
    if (dataType == VARCHAR) {
        if (kind == Leaf) {
            return std::make_unique<MoxIndexVarcharTreeLeafPage>(frame, newPage);
        }
        return std::make_unique<MoxIndexVarcharTreeNodePage>(frame, newPage);
    }
    if (kind == Leaf) {
        return std::make_unique<MoxIndexTreeLeafPage>(frame, newPage);
    }
    return std::make_unique<MoxIndexTreeNodePage>(frame, newPage);
}

bool MoxIndexTreePage::holdsLeaf(const MoxPage& frame) {
    return frame.getPageData()[LEAF_FLAG_OFFSET] != 0;
}

MoxDataType MoxIndexTreePage::dataTypeOf(const MoxPage& frame) {
    return frame.getPageData()[KEY_TYPE_OFFSET] == VARCHAR_MARK ? VARCHAR : INTEGER;
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
    syncInventory(sId, pId, dataType);
    afterWrite(dataType == INTEGER ? integerType : varcharType);
}

void MoxIndexTreePage::syncInventory(SegmentId segment, PageId pageId, MoxDataType dataType) {
    MOX_TRACE_ENTRY();
    // The page may have become the other kind than an object that the
    // caller holds: a fresh object reads it as it is now.
    bool inUse = false;
    try {
        std::unique_ptr<MoxIndexTreePage> current = get(segment, pageId, dataType);
        inUse = current->isRoot() || !current->empty() || current->prevId() != NO_PAGE || current->nextId() != NO_PAGE;
    } catch (const MoxException& exception) {
        if (exception.getErrorCode() == MOX_BM_PAGETYPE_MISMATCH) {
            return;
        }
        if (exception.getErrorCode() != MOX_BM_PAGE_NOT_FOUND) {
            throw;
        }
    }
    // Only a page that a split took from the inventory returns to its
    // freshly formatted state: an emptied leaf stays linked into its level.
    MoxIndexFreeSpaceInventory* fsi = MoxIndexFreeSpaceInventory::getInstance();
    fsi->reservePageId(segment, pageId);
    if (inUse) {
        fsi->removeFreePageId(segment, pageId);
    } else {
        PageId fsiPage = 0;
        Uint32 offset = 0;
        if (!fsi->findFreePageId(segment, pageId, fsiPage, offset)) {
            fsi->setFreePageId(segment, pageId);
        }
    }
}

void MoxIndexTreePage::logCurrentImage() {
    MOX_TRACE_ENTRY();
    loggedChange([] {});
}

void MoxIndexTreePage::findLeaf(const MoxIndexKey& key, Path& path) {
    MOX_TRACE_ENTRY();
    int refused = 0;
    while (!path.back()->isLeaf()) {
        MoxIndexTreePage& top = *path.back();
        // A page that splits stays locked exclusively until its writer's
        // transaction ends, so giving up would fail every reader that meets
        // a busy writer: after the tries, the descent waits like any other
        // lock request, and a deadlock or time-out is thrown.
        if (refused < DESCENT_ATTEMPTS) {
            if (!top.tryLock(MoxLockManager::SharedLock)) {
                path.resize(1);
                ++refused;
                // The holder of the exclusive lock needs the processor to finish.
                sched_yield();
                continue;
            }
        } else {
            top.lock(MoxLockManager::SharedLock);
        }
        if (!top.matchesPage()) {
            // Its kind was read before the lock: the rollback of a root
            // split that ended meanwhile turns the inner root into a leaf.
            path.back() = get(sId, top.pageId(), dataType);
            continue;
        }
        if (path.size() == maxTreeDepth) {
            THROW_wARGS2(MOX_INTERNAL_FAIL, sId, top.pageId());
        }
        path.push_back(get(sId, top.childFor(key), dataType));
    }
}

std::unique_ptr<MoxIndexTreePage> MoxIndexTreePage::findFirstLeaf() {
    return edgeLeaf(true);
}

std::unique_ptr<MoxIndexTreePage> MoxIndexTreePage::findLastLeaf() {
    return edgeLeaf(false);
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
        // Read again where its kind changed before the lock (see findLeaf).
        const PageId next = !at->matchesPage() ? at->pageId() : leftmost ? at->getFirstChild() : at->getLastChild();
        below = get(sId, next, dataType);
        at = below.get();
    }
    return below != nullptr ? std::move(below) : get(sId, pId, dataType);
}

PageId MoxIndexTreePage::childFor(const MoxIndexKey& key) const {
    Uint16 position = lowerBound(key);
    return position == 0 ? getFirstChild() : getChildAt(static_cast<Uint16>(position - 1));
}

PageId MoxIndexTreePage::getLastChild() const {
    Uint16 count = numElements();
    return count == 0 ? getFirstChild() : getChildAt(static_cast<Uint16>(count - 1));
}

Uint16 MoxIndexTreePage::positionAfter(PageId child) const {
    if (getFirstChild() == child) {
        return 0;
    }
    Uint16 count = numElements();
    for (Uint16 position = 0; position < count; ++position) {
        if (getChildAt(position) == child) {
            return static_cast<Uint16>(position + 1);
        }
    }
    return NO_POSITION;
}

Uint32 MoxIndexTreePage::removeRun(Uint16 position, const MoxIndexKey& key) {
    Uint32 removed = 0;
    while (position < numElements() && getValueAt(position) == key) {
        deleteKeyAt(position);
        ++removed;
    }
    return removed;
}

Uint32 MoxIndexTreePage::deleteSeparators(const MoxIndexKey& key) {
    MOX_TRACE_ENTRY();
    Uint16 position = findKeyPosition(key);
    if (position == NO_POSITION) {
        return 0;
    }
    Uint32 removed = 0;
    loggedChange([&] { removed = removeRun(position, key); });
    return removed;
}

void MoxIndexTreePage::printShortHeading() const {
    std::cout << (isLeaf() ? "Leaf " : "Node ") << pId << " [prev " << prevId() << ", next " << nextId()
              << "]: " << numElements() << " entries";
}

void MoxIndexTreePage::printLeafHeading() const {
    std::cout << "********** LEAF (SID: " << sId << " PID: " << pId << " )**********\n"
              << "**********  PrevID: " << prevId() << " NextID: " << nextId() << " **********\n"
              << " Number of Elements: " << numElements() << '\n';
}

void MoxIndexTreePage::printNodeHeading() const {
    std::cout << std::string(42, '*') << '\n'
              << "INNER NODE > SegmentId: " << sId << ", PageId: " << pId << ", SpaceLeft: " << spaceLeft()
              << ", FirstChild: " << getFirstChild() << ", PrevId: " << prevId() << ", NextId: " << nextId()
              << ", Number of Elements: " << numElements() << '\n';
}

Uint32 MoxIndexTreePage::deleteFromLeaves(const MoxIndexKey& key, const TupleId* tupleId) {
    MOX_TRACE_ENTRY();
    Uint32 removed = 0;
    walkLeaves(true, [&](MoxIndexTreePage& leaf) {
        bool goOn = false;
        removed += leaf.deleteHere(key, tupleId, goOn);
        return goOn;
    });
    return removed;
}

Uint32 MoxIndexTreePage::deleteHere(const MoxIndexKey& key, const TupleId* tupleId, bool& goOn) {
    MOX_TRACE_ENTRY();
    lock(MoxLockManager::ExclusiveLock);
    Uint16 count = numElements();
    Uint16 position = lowerBound(key);
    // No entry here reaches the key: deletes may have emptied this part of
    // a run that continues in the next leaf.
    if (position == count) {
        goOn = true;
        return 0;
    }
    if (tupleId != nullptr) {
        for (; position < count && getValueAt(position) == key; ++position) {
            if (getTupleAt(position) == *tupleId) {
                loggedChange([&] { deleteKeyAt(position); });
                return 1;
            }
        }
        goOn = position == count;
        return 0;
    }
    if (!(getValueAt(position) == key)) {
        return 0;
    }
    Uint32 removed = 0;
    loggedChange([&] { removed = removeRun(position, key); });
    goOn = position == numElements();
    return removed;
}

bool MoxIndexTreePage::findFirstTuple(const MoxIndexKey& key, TupleId& tupleId) const {
    Uint16 position = findKeyPosition(key);
    if (position == NO_POSITION) {
        return false;
    }
    tupleId = getTupleAt(position);
    return true;
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
