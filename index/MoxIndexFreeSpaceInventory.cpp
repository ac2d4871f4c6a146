#include "MoxIndexFreeSpaceInventory.h"

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "../buffer/MoxBufferManager.h"
#include "../buffer/MoxScopedPage.h"
#include "../lock/MoxScopedLock.h"
#include "../support/MoxError.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = IndexManager;

// One inventory page, locked and fixed for a scope: locked first, so that the
// bytes are read only under the lock.
class MoxIndexFreeSpaceInventory::LockedPage {
  public:
    LockedPage(SegmentId segment, PageId page, MoxLockManager::LockType type,
               MoxScopedPage::Operation operation = MoxScopedPage::GetExistingPage)
        : lockType(type), lock(segment, page, type), fixed(segment, page, MoxPage::FreeSpaceInventoryPage, operation) {}

    // The page's fields; MOX_INTERNAL_FAIL for a count beyond the page.
    PageFormat* format() const {
        PageFormat* bytes = reinterpret_cast<PageFormat*>(fixed->getPageData());
        if (bytes->numElements > maxElements) {
            THROW_wARGS3(MOX_INTERNAL_FAIL, fixed->getSegmentId(), fixed->getPageId(), bytes->numElements);
        }
        return bytes;
    }
    bool isFull() const { return format()->numElements == maxElements; }
    PageId id() const { return fixed->getPageId(); }
    MoxLockManager::LockType type() const { return lockType; }
    void markModified() { THROW_RC(fixed->markAsModified(MoxLsn::dummyLSN())); }

  private:
    const MoxLockManager::LockType lockType;
    MoxScopedLock lock;
    MoxScopedPage fixed;
};

namespace {

IndexId indexOf(SegmentId segment) {
    return static_cast<IndexId>((segment - MOX_MAX_TABLE_ID) / 2);
}

}  // namespace

MoxIndexFreeSpaceInventory* MoxIndexFreeSpaceInventory::getInstance() {
    static MoxIndexFreeSpaceInventory instance;
    return &instance;
}

void MoxIndexFreeSpaceInventory::walkChain(SegmentId segment, LockedPage& first,
                                           const std::function<bool(LockedPage&)>& visit) {
    MOX_TRACE_ENTRY();
    std::unique_ptr<LockedPage> chained;
    LockedPage* at = &first;
    // A chain longer than the segment has pages runs in a circle.
    for (Uint32 visited = 0; visit(*at); ++visited) {
        PageId next = at->format()->nextId;
        if (next == 0) {
            return;
        }
        if (visited > MOX_MAX_PAGE_ID) {
            THROW_wARGS2(MOX_INTERNAL_FAIL, segment, next);
        }
        chained = std::make_unique<LockedPage>(segment, next, first.type());
        at = chained.get();
    }
}

void MoxIndexFreeSpaceInventory::initialize(SegmentId segment) {
    MOX_TRACE_ENTRY();
    LockedPage first(segment, 0, MoxLockManager::ExclusiveLock, MoxScopedPage::CreateNewPage);
    PageFormat* page = first.format();
    page->nextId = 0;
    page->lastId = 0;
    page->numElements = 0;
    first.markModified();
}

PageId MoxIndexFreeSpaceInventory::nextNewId(SegmentId segment, LockedPage& first) {
    MOX_TRACE_ENTRY();
    PageFormat* page = first.format();
    if (page->lastId >= MOX_MAX_PAGE_ID) {
        THROW_wARGS1(MOX_IM_NO_MORE_PAGES, indexOf(segment));
    }
    ++page->lastId;
    first.markModified();
    return page->lastId;
}

PageId MoxIndexFreeSpaceInventory::generateNewPageId(SegmentId segment) {
    MOX_TRACE_ENTRY();
    LockedPage first(segment, 0, MoxLockManager::ExclusiveLock);
    return nextNewId(segment, first);
}

PageId MoxIndexFreeSpaceInventory::getLastPageId(SegmentId segment) {
    MOX_TRACE_ENTRY();
    LockedPage first(segment, 0, MoxLockManager::SharedLock);
    return first.format()->lastId;
}

PageId MoxIndexFreeSpaceInventory::takeExisting(SegmentId segment, LockedPage& first) {
    MOX_TRACE_ENTRY();
    // Ids are appended to the first page that is not full, so the newest
    // one is on that page, or on the full page before it when it is empty.
    std::vector<std::unique_ptr<LockedPage>> chained;
    LockedPage* previous = nullptr;
    LockedPage* at = &first;
    while (at->isFull() && at->format()->nextId != 0) {
        if (chained.size() > MOX_MAX_PAGE_ID) {
            THROW_wARGS2(MOX_INTERNAL_FAIL, segment, at->id());
        }
        PageId next = at->format()->nextId;
        chained.push_back(std::make_unique<LockedPage>(segment, next, MoxLockManager::ExclusiveLock));
        previous = at;
        at = chained.back().get();
    }
    if (at->format()->numElements == 0) {
        if (previous == nullptr) {
            return 0;
        }
        at = previous;
    }
    PageFormat* page = at->format();
    --page->numElements;
    PageId taken = page->pageIds[page->numElements];
    page->pageIds[page->numElements] = 0;
    at->markModified();
    return taken;
}

PageId MoxIndexFreeSpaceInventory::getExistingPageId(SegmentId segment) {
    MOX_TRACE_ENTRY();
    LockedPage first(segment, 0, MoxLockManager::ExclusiveLock);
    return takeExisting(segment, first);
}

bool MoxIndexFreeSpaceInventory::findEntry(SegmentId segment, LockedPage& first, PageId page, PageId& fsiPageId,
                                           Uint32& offset) {
    MOX_TRACE_ENTRY();
    bool found = false;
    walkChain(segment, first, [&](LockedPage& at) {
        const PageFormat* inventory = at.format();
        for (Uint16 position = 0; position < inventory->numElements; ++position) {
            if (inventory->pageIds[position] == page) {
                fsiPageId = at.id();
                offset = position;
                found = true;
                return false;
            }
        }
        return true;
    });
    return found;
}

bool MoxIndexFreeSpaceInventory::findFreePageId(SegmentId segment, PageId page, PageId& fsiPageId, Uint32& offset) {
    MOX_TRACE_ENTRY();
    try {
        LockedPage first(segment, 0, MoxLockManager::SharedLock);
        return findEntry(segment, first, page, fsiPageId, offset);
    } catch (const MoxException& exception) {
        if (exception.getErrorCode() != MOX_BM_PAGE_NOT_FOUND) {
            throw;
        }
        return false;
    }
}

void MoxIndexFreeSpaceInventory::writeEntry(SegmentId segment, LockedPage& first, PageId fsiPage, Uint32 offset,
                                            PageId value) {
    MOX_TRACE_ENTRY();
    std::unique_ptr<LockedPage> chained;
    LockedPage* at = &first;
    if (fsiPage != first.id()) {
        chained = std::make_unique<LockedPage>(segment, fsiPage, MoxLockManager::ExclusiveLock);
        at = chained.get();
    }
    at->format()->pageIds[offset] = value;
    at->markModified();
}

void MoxIndexFreeSpaceInventory::addFree(SegmentId segment, LockedPage& first, PageId page) {
    MOX_TRACE_ENTRY();
    PageId holePage = 0;
    Uint32 hole = 0;
    if (findEntry(segment, first, 0, holePage, hole)) {
        writeEntry(segment, first, holePage, hole, page);
        return;
    }
    std::unique_ptr<LockedPage> chained;
    LockedPage* at = &first;
    while (at->isFull()) {
        PageId next = at->format()->nextId;
        MoxScopedPage::Operation operation = MoxScopedPage::GetExistingPage;
        if (next == 0) {
            next = nextNewId(segment, first);
            at->format()->nextId = next;
            at->markModified();
            operation = MoxScopedPage::CreateNewPage;
        }
        chained = std::make_unique<LockedPage>(segment, next, MoxLockManager::ExclusiveLock, operation);
        at = chained.get();
        if (operation == MoxScopedPage::CreateNewPage) {
            at->format()->nextId = 0;
            at->format()->numElements = 0;
            at->markModified();
        }
    }
    PageFormat* inventory = at->format();
    inventory->pageIds[inventory->numElements] = page;
    ++inventory->numElements;
    at->markModified();
}

void MoxIndexFreeSpaceInventory::setFreePageId(SegmentId segment, PageId page) {
    MOX_TRACE_ENTRY();
    LockedPage first(segment, 0, MoxLockManager::ExclusiveLock);
    addFree(segment, first, page);
}

void MoxIndexFreeSpaceInventory::removeFreePageId(SegmentId segment, PageId page) {
    MOX_TRACE_ENTRY();
    LockedPage first(segment, 0, MoxLockManager::ExclusiveLock);
    PageId fsiPage = 0;
    Uint32 offset = 0;
    if (findEntry(segment, first, page, fsiPage, offset)) {
        writeEntry(segment, first, fsiPage, offset, 0);
    }
}

void MoxIndexFreeSpaceInventory::reservePageId(SegmentId segment, PageId page) {
    MOX_TRACE_ENTRY();
    LockedPage first(segment, 0, MoxLockManager::ExclusiveLock);
    // lastId moves first, so that a new inventory page that listing the
    // skipped ids may need cannot take page's id.
    std::vector<PageId> skipped;
    while (first.format()->lastId < page) {
        PageId id = nextNewId(segment, first);
        if (id != page) {
            skipped.push_back(id);
        }
    }
    for (PageId id : skipped) {
        addFree(segment, first, id);
    }
}

MoxPage* MoxIndexFreeSpaceInventory::claimPage(SegmentId segment) {
    MOX_TRACE_ENTRY();
    PageId id = 0;
    {
        LockedPage first(segment, 0, MoxLockManager::ExclusiveLock);
        if (first.format()->numElements != 0) {
            id = takeExisting(segment, first);
        }
        if (id == 0) {
            id = nextNewId(segment, first);
        }
    }
    // Page 0 is free again before this waits for a lock.
    MoxBufferManager* bufferMgr = MoxBufferManager::getInstance();
    MoxPage* frame = nullptr;
    try {
        MoxLockManager::getInstance()->requestPage(segment, id, MoxLockManager::ExclusiveLock, false);
        try {
            bufferMgr->getNewPage(segment, id, MoxPage::BTreeIndexPage, MoxLsn::dummyLSN(), frame);
        } catch (const MoxException& exception) {
            if (exception.getErrorCode() != MOX_BM_PAGE_ALREADY_EXISTS_IN_BUFFER) {
                throw;
            }
            // A page that a rollback gave back may still be in the pool.
            bufferMgr->getPage(segment, id, MoxPage::BTreeIndexPage, frame);
        }
    } catch (const MoxException&) {
        // Nobody has the id now: back to the list, or it would be lost.
        try {
            setFreePageId(segment, id);
        } catch (const MoxException& failure) {
            failure.SET_ERROR();
            MOX_TRACE_ERROR();
        }
        throw;
    }
    THROW_RC(frame->markAsModified(MoxLsn::dummyLSN()));
    return frame;
}

std::unique_ptr<MoxIndexTreePage> MoxIndexFreeSpaceInventory::claimTreePage(SegmentId segment, MoxDataType dataType,
                                                                            MoxIndexTreePage::Kind kind) {
    MOX_TRACE_ENTRY();
    return MoxIndexTreePage::adopt(claimPage(segment), dataType, kind, true);
}

std::unique_ptr<MoxIndexTreePage> MoxIndexFreeSpaceInventory::getFreeLeafPage(SegmentId segment, MoxDataType dataType) {
    MOX_TRACE_ENTRY();
    return claimTreePage(segment, dataType, MoxIndexTreePage::Leaf);
}

std::unique_ptr<MoxIndexTreePage> MoxIndexFreeSpaceInventory::getFreeNodePage(SegmentId segment, MoxDataType dataType) {
    MOX_TRACE_ENTRY();
    return claimTreePage(segment, dataType, MoxIndexTreePage::Node);
}

MoxPage* MoxIndexFreeSpaceInventory::getFreePage(SegmentId segment) {
    MOX_TRACE_ENTRY();
    return claimPage(segment);
}

void MoxIndexFreeSpaceInventory::getPageData(SegmentId segment, PageId page, PageFormat& copy) {
    MOX_TRACE_ENTRY();
    LockedPage locked(segment, page, MoxLockManager::SharedLock);
    memcpy(&copy, locked.format(), sizeof(copy));
}

void MoxIndexFreeSpaceInventory::printPage(const PageFormat& page, SegmentId segment, bool full) const {
    std::cout << std::string(42, '*') << '\n'
              << "Index FSI Page > SegmentId: " << segment << ", PageId: " << page.header.pageId
              << ", NextId: " << page.nextId << ", LastId: " << page.lastId << ", numElements: " << page.numElements
              << '\n';
    if (full) {
        for (Uint16 position = 0; position < page.numElements; ++position) {
            std::cout << "PageId #" << position << ": " << page.pageIds[position] << '\n';
        }
    }
}

void MoxIndexFreeSpaceInventory::dump(SegmentId segment, PageId page, bool full) {
    MOX_TRACE_ENTRY();
    PageFormat copy;
    getPageData(segment, page, copy);
    printPage(copy, segment, full);
}

void MoxIndexFreeSpaceInventory::dump(SegmentId segment, bool full) {
    MOX_TRACE_ENTRY();
    LockedPage first(segment, 0, MoxLockManager::SharedLock);
    walkChain(segment, first, [&](LockedPage& at) {
        printPage(*at.format(), segment, full);
        return true;
    });
}
