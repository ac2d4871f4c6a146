// The free space inventory of a table: every 255th page of its segment
// describes the 254 pages behind it, one 2-byte entry each, and decides the
// number of the table's next page. It is not logged: inventory pages are
// marked with the LSN (0, 0), and every change of a data page is followed by
// a recomputation of its entry.
//
// Locks on an inventory page's slots guard it: entry i by slot i, the count
// by slot MOX_SLOT_METADATA.

#include "MoxRecordManager.h"
#include "MoxSlottedPage.h"
#include "../buffer/MoxBufferManager.h"
#include "../lock/MoxScopedLock.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = RecordManager;

namespace {

typedef MoxLockManager LM;

MoxRecordLayout::FsiPage* fsiOf(const MoxScopedPage& page) {
    return reinterpret_cast<MoxRecordLayout::FsiPage*>(page.getPage()->getPageData());
}

bool isExisting(MoxErrorCode code) {
    return code == MOX_BM_PAGE_ALREADY_EXISTS_IN_BUFFER || code == MOX_BM_PAGE_ALREADY_EXISTS_IN_FILE;
}

// Entries round down, so an entry of needed blocks guarantees the bytes.
bool hasRoom(const MoxRecordLayout::FsiEntry& entry, Uint16 neededBlocks) {
    return MoxRecordManager::pageAlreadyExists(entry) && entry.freeSpaceBlock >= neededBlocks;
}

}  // namespace

std::unique_ptr<MoxScopedPage> MoxRecordManager::fixFsiPageIfExists(SegmentId segment, PageId fsiPageId) {
    MOX_TRACE_ENTRY();
    try {
        return std::make_unique<MoxScopedPage>(segment, fsiPageId, MoxPage::FreeSpaceInventoryPage,
                                               MoxScopedPage::GetExistingPage);
    } catch (const MoxException& exception) {
        if (exception.getErrorCode() != MOX_BM_PAGE_NOT_FOUND) {
            throw;
        }
    }
    return nullptr;
}

std::unique_ptr<MoxScopedPage> MoxRecordManager::fixFsiPage(SegmentId segment, PageId fsiPageId) {
    MOX_TRACE_ENTRY();
    std::unique_ptr<MoxScopedPage> page = fixFsiPageIfExists(segment, fsiPageId);
    if (page == nullptr) {
        createFsiPage(segment, fsiPageId, page);
    }
    return page;
}

void MoxRecordManager::createFsiPage(SegmentId segment, PageId fsiPageId, std::unique_ptr<MoxScopedPage>& page) {
    MOX_TRACE_ENTRY();
    // The metadata slot, not the whole page, keeps registrations out until
    // the entries are marked: a page lock would also wait for the
    // transactions that hold entries of the page for their inserts, which a
    // creator that lost the race to another process meets.
    MoxScopedLock metadata(segment, fsiPageId, MOX_SLOT_METADATA, LM::ExclusiveLock, true);
    try {
        page = createPageFixed(segment, fsiPageId, MoxPage::FreeSpaceInventoryPage);
    } catch (const MoxException& exception) {
        if (!isExisting(exception.getErrorCode())) {
            throw;
        }
        page = std::make_unique<MoxScopedPage>(segment, fsiPageId, MoxPage::FreeSpaceInventoryPage,
                                               MoxScopedPage::GetExistingPage);
        return;
    }
    FsiPage* fsi = fsiOf(*page);
    fsi->countEntries = 0;
    for (FsiEntry& entry : fsi->pageInfo) {
        markNotExists(entry);
    }
}

void MoxRecordManager::addFsiEntry(TableId table, PageId pageId, const FsiEntry& entry) {
    MOX_TRACE_ENTRY();
    addFsiEntry_seg(segmentOf(table), pageId, entry);
}

void MoxRecordManager::addFsiEntry_seg(SegmentId segment, PageId pageId, const FsiEntry& entry) {
    MOX_TRACE_ENTRY();
    if (isFsiPage(pageId)) {
        THROW_wARGS2(MOX_RM_FSI_ENTRY_NOT_ALLOWED, pageId, segment);
    }
    const PageId fsiPageId = getFsiPageId(pageId);
    const SlotId slot = getFsiSlot(pageId);
    // No shared lock on the whole inventory page: the entry's lock takes an
    // intention lock there, which two registering transactions would each
    // be refused beside the other's shared page lock.
    std::unique_ptr<MoxScopedPage> page = fixFsiPage(segment, fsiPageId);
    THROW_RC(page->getPage()->markAsModified(MoxLsn::dummyLSN()));
    MoxScopedLock entryLock(segment, fsiPageId, slot, LM::ExclusiveLock, true);
    MoxScopedLock metadata(segment, fsiPageId, MOX_SLOT_METADATA, LM::ExclusiveLock, true);
    FsiPage* fsi = fsiOf(*page);
    const bool isNew = !pageAlreadyExists(fsi->pageInfo[slot]);
    fsi->pageInfo[slot] = entry;
    if (isNew && fsi->countEntries < MAX_FSI_ENTRIES) {
        ++fsi->countEntries;
    }
}

std::unique_ptr<MoxScopedLock> MoxRecordManager::lockFsiEntry(SegmentId segment, PageId dataPage,
                                                              MoxLockManager::LockType type) {
    MOX_TRACE_ENTRY();
    if (isFsiPage(dataPage)) {
        THROW_wARGS2(MOX_RM_FSI_ENTRY_NOT_ALLOWED, dataPage, segment);
    }
    const PageId fsiPageId = getFsiPageId(dataPage);
    const SlotId slot = getFsiSlot(dataPage);
    if (holdsExclusively(segment, fsiPageId, slot)) {
        return nullptr;
    }
    // Forced: a lock the segment covers must still get its own entry for
    // the scope to release.
    return std::make_unique<MoxScopedLock>(segment, fsiPageId, slot, type, true);
}

void MoxRecordManager::updateFreeSpace(MoxPage* page, bool holdLock) {
    MOX_TRACE_ENTRY();
    if (page == nullptr) {
        THROW(MOX_PARAMETER_FAIL);
    }
    const SegmentId segment = page->getSegmentId();
    const PageId pageId = page->getPageId();
    SlotPageHeader& header = MoxSlottedPage(page->getPageData(), segment).header();
    const Uint16 oldBlocks = header.consecFreeSpace / FSI_BLOCK_SIZE;
    const Uint16 oldFree = header.freeSpace / FSI_BLOCK_SIZE;
    std::unique_ptr<MoxScopedLock> entryLock;
    if (holdLock) {
        if (isFsiPage(pageId)) {
            THROW_wARGS2(MOX_RM_FSI_ENTRY_NOT_ALLOWED, pageId, segment);
        }
        lockMgr->requestSlot(segment, getFsiPageId(pageId), getFsiSlot(pageId), LM::ExclusiveLock);
    } else {
        // Where the transaction holds the entry exclusively (an insert's
        // page), that lock serves and a scoped one would release it.
        entryLock = lockFsiEntry(segment, pageId, LM::ExclusiveLock);
    }
    Uint16 blockOffset = 0;
    Uint16 blockSize = 0;
    Uint16 freeSpace = 0;
    findLargestFreeSpaceInPage(page, blockOffset, blockSize);
    findFreeSpaceInPage(page, freeSpace);
    header.consecFreeSpaceOffset = blockOffset;
    header.consecFreeSpace = blockSize;
    header.freeSpace = freeSpace;
    if (freeSpace < blockSize) {
        THROW(MOX_INTERNAL_FAIL);
    }
    if (freeSpace / FSI_BLOCK_SIZE != oldFree || blockSize / FSI_BLOCK_SIZE != oldBlocks) {
        FsiEntry entry = {static_cast<Uint8>(freeSpace / FSI_BLOCK_SIZE),
                          static_cast<Uint8>(blockSize / FSI_BLOCK_SIZE)};
        updateFsiEntry(segment, pageId, entry, holdLock);
    }
}

MoxRecordLayout::FsiEntry MoxRecordManager::entryOf(const MoxPage* page) {
    MOX_TRACE_ENTRY();
    Uint16 freeSpace = 0;
    Uint16 blockOffset = 0;
    Uint16 blockSize = 0;
    findFreeSpaceInPage(page, freeSpace);
    findLargestFreeSpaceInPage(page, blockOffset, blockSize);
    return FsiEntry{static_cast<Uint8>(freeSpace / FSI_BLOCK_SIZE), static_cast<Uint8>(blockSize / FSI_BLOCK_SIZE)};
}

void MoxRecordManager::rebuildInventory(SegmentId segment, PageId lastPage, PageSet& known) {
    MOX_TRACE_ENTRY();
    // Pages are allocated without holes, so every page up to the last one
    // that exists is registered: one the crash lost becomes an empty page.
    for (Uint32 fsiPageId = 0; fsiPageId <= lastPage; fsiPageId += FSI_PAGE_DISTANCE) {
        std::unique_ptr<MoxScopedPage> inventory =
            fixOrCreatePage(segment, static_cast<PageId>(fsiPageId), MoxPage::FreeSpaceInventoryPage, known);
        FsiPage* fsi = fsiOf(*inventory);
        Uint16 count = 0;
        for (Uint32 entry = 0; entry < MAX_FSI_ENTRIES; ++entry) {
            const Uint32 pageId = fsiPageId + entry + 1;
            if (pageId > lastPage) {
                markNotExists(fsi->pageInfo[entry]);
                continue;
            }
            std::unique_ptr<MoxScopedPage> page =
                fixOrCreatePage(segment, static_cast<PageId>(pageId), MoxPage::DataPage, known);
            MoxSlottedPage view = MoxSlottedPage::of(*page->getPage());
            if (view.refreshFreeSpaceFields()) {
                THROW_RC(page->getPage()->markAsModified(page->getPage()->getLsn()));
            }
            fsi->pageInfo[entry] = FsiEntry{static_cast<Uint8>(view.header().freeSpace / FSI_BLOCK_SIZE),
                                            static_cast<Uint8>(view.header().consecFreeSpace / FSI_BLOCK_SIZE)};
            ++count;
        }
        fsi->countEntries = count;
        THROW_RC(inventory->getPage()->markAsModified(MoxLsn::dummyLSN()));
    }
}

void MoxRecordManager::updateFsiEntry(SegmentId segment, PageId pageToEdit, const FsiEntry& newPageInfo, bool) {
    MOX_TRACE_ENTRY();
    if (isFsiPage(pageToEdit)) {
        THROW_wARGS2(MOX_RM_FSI_ENTRY_NOT_ALLOWED, pageToEdit, segment);
    }
    MoxScopedPage page(segment, getFsiPageId(pageToEdit), MoxPage::FreeSpaceInventoryPage,
                       MoxScopedPage::GetExistingPage);
    THROW_RC(page->markAsModified(MoxLsn::dummyLSN()));
    fsiOf(page)->pageInfo[getFsiSlot(pageToEdit)] = newPageInfo;
}

void MoxRecordManager::findFsiEntry(SegmentId segment, PageId pageToFind, FsiEntry& pageInfo) {
    MOX_TRACE_ENTRY();
    MoxScopedPage page(segment, getFsiPageId(pageToFind), MoxPage::FreeSpaceInventoryPage,
                       MoxScopedPage::GetExistingPage);
    if (isFsiPage(pageToFind)) {
        THROW_wARGS2(MOX_RM_FSI_ENTRY_NOT_ALLOWED, pageToFind, segment);
    }
    FsiEntry entry = fsiOf(page)->pageInfo[getFsiSlot(pageToFind)];
    if (!pageAlreadyExists(entry)) {
        THROW_wARGS2(MOX_RM_NO_FSI_ENTRY_FOR_PAGE, pageToFind, segment);
    }
    pageInfo = entry;
}

bool MoxRecordManager::tryLockFsiEntryForInsert(SegmentId segment, PageId fsiPage, SlotId entry, bool& newlyLocked) {
    MOX_TRACE_ENTRY();
    newlyLocked = false;
    if (holdsExclusively(segment, fsiPage, entry)) {
        return true;
    }
    // Exclusive at once, not shared first: two inserters that both held the
    // entry shared would each wait for the other's shared lock to upgrade.
    try {
        newlyLocked = lockMgr->tryRequestSlot(segment, fsiPage, entry, LM::ExclusiveLock, true);
    } catch (const MoxException& exception) {
        // A refused try is recorded as waiting during its attempt, which
        // closes a cycle when the holder waits for this transaction; a try
        // never waits, so it is only a refusal.
        if (exception.getErrorCode() != MOX_LM_DEADLOCK) {
            throw;
        }
    }
    return newlyLocked;
}

PageId MoxRecordManager::findFreeMemoryBlock(TableId table, Uint16 numBytes, PageId firstSearchPageId) {
    MOX_TRACE_ENTRY();
    const SegmentId segment = openTable(table);
    MoxErrorCode notFound = MOX_SUCCESS;
    bool newlyClaimed = false;
    const PageId found = searchFreeMemoryBlock(segment, numBytes, firstSearchPageId, notFound, newlyClaimed);
    if (notFound == MOX_BM_PAGE_NOT_FOUND) {
        THROW_wARGS2(MOX_BM_PAGE_NOT_FOUND, getFsiPageId(firstSearchPageId), segment);
    }
    if (notFound != MOX_SUCCESS) {
        THROW(notFound);
    }
    return found;
}

PageId MoxRecordManager::searchFreeMemoryBlock(SegmentId segment, Uint16 numBytes, PageId firstSearchPageId,
                                               MoxErrorCode& notFound, bool& newlyClaimed) {
    MOX_TRACE_ENTRY();
    const Uint16 neededBlocks = static_cast<Uint16>((numBytes + FSI_BLOCK_SIZE) / FSI_BLOCK_SIZE);
    PageId fsiPageId = getFsiPageId(firstSearchPageId);
    Uint16 firstEntry = firstSearchPageId == fsiPageId ? 0 : getFsiSlot(firstSearchPageId);
    bool startPage = true;
    while (true) {
        std::unique_ptr<MoxScopedPage> page = fixFsiPageIfExists(segment, fsiPageId);
        if (page == nullptr) {
            if (startPage) {
                notFound = MOX_BM_PAGE_NOT_FOUND;
                return MOX_INVALID_PAGE_ID;
            }
            break;
        }
        const FsiPage* fsi = fsiOf(*page);
        // Copied first: a reference into the packed page may be misaligned.
        const Uint16 counted = fsi->countEntries;
        const Uint16 count = MoxMin<Uint16>(counted, MAX_FSI_ENTRIES);
        for (Uint16 slot = firstEntry; slot < count; ++slot) {
            // Too small an entry is passed over without asking the lock
            // manager: a table of full pages must not cost a lock request per
            // page. A lockable entry is read again once it is locked.
            if (!hasRoom(fsi->pageInfo[slot], neededBlocks)) {
                continue;
            }
            bool newlyLocked = false;
            if (!tryLockFsiEntryForInsert(segment, fsiPageId, static_cast<SlotId>(slot), newlyLocked)) {
                continue;
            }
            if (hasRoom(fsi->pageInfo[slot], neededBlocks)) {
                newlyClaimed = newlyLocked;
                return static_cast<PageId>(fsiPageId + slot + 1);
            }
            if (newlyLocked) {
                lockMgr->releaseSlot(segment, fsiPageId, static_cast<SlotId>(slot));
            }
        }
        if (count < MAX_FSI_ENTRIES || fsiPageId >= LAST_FSI_PAGE) {
            break;
        }
        fsiPageId = static_cast<PageId>(fsiPageId + FSI_PAGE_DISTANCE);
        firstEntry = 0;
        startPage = false;
    }
    notFound = MOX_RM_NO_MEMORY_BLOCK_FOUND_WARN;
    return MOX_INVALID_PAGE_ID;
}

void MoxRecordManager::getNewPageId(TableId table, PageId& pageId) {
    MOX_TRACE_ENTRY();
    pageId = nextNewPageId(openTable(table));
}

PageId MoxRecordManager::nextNewPageId(SegmentId segment) {
    MOX_TRACE_ENTRY();
    PageId fsiPageId = 0;
    while (true) {
        std::unique_ptr<MoxScopedPage> page = fixFsiPageIfExists(segment, fsiPageId);
        if (page == nullptr) {
            // The inventory page comes with the registration of its first page.
            return static_cast<PageId>(fsiPageId + 1);
        }
        // A full range stays full, pages being never returned, so its count
        // needs no lock: a long transaction on a big table would pay a lock
        // request per inventory page on every append. The count of the
        // range that takes the page is read under the metadata lock.
        if (fsiOf(*page)->countEntries < MAX_FSI_ENTRIES) {
            MoxScopedLock metadata(segment, fsiPageId, MOX_SLOT_METADATA, LM::SharedLock, true);
            const Uint16 count = fsiOf(*page)->countEntries;
            if (count < MAX_FSI_ENTRIES) {
                const Uint32 next = fsiPageId + count + 1u;
                if (next > MOX_MAX_PAGE_ID) {
                    THROW(MOX_RM_NO_MORE_PAGES);
                }
                return static_cast<PageId>(next);
            }
        }
        if (fsiPageId >= LAST_FSI_PAGE) {
            THROW(MOX_RM_NO_MORE_PAGES);
        }
        fsiPageId = static_cast<PageId>(fsiPageId + FSI_PAGE_DISTANCE);
    }
}

std::unique_ptr<MoxScopedPage> MoxRecordManager::appendPage(SegmentId segment, PageId& candidate) {
    MOX_TRACE_ENTRY();
    const PageId fsiPageId = getFsiPageId(candidate);
    std::unique_ptr<MoxScopedPage> fsiPage = fixFsiPage(segment, fsiPageId);
    // Appends to one range take their number from the count and register
    // their page one at a time, so that two processes never take one number
    // and the registered pages stay 1, 2, 3, ... without a hole. The lock is
    // held for no more than that: never while waiting for another
    // transaction's page.
    MoxScopedLock metadata(segment, fsiPageId, MOX_SLOT_METADATA, LM::ExclusiveLock, true);
    const Uint16 count = fsiOf(*fsiPage)->countEntries;
    if (count >= MAX_FSI_ENTRIES) {
        return nullptr;
    }
    const Uint32 number = fsiPageId + count + 1u;
    if (number > MOX_MAX_PAGE_ID) {
        THROW(MOX_RM_NO_MORE_PAGES);
    }
    candidate = static_cast<PageId>(number);
    // Locked before the entry appears, like an entry the search chose, so
    // that no other inserting transaction picks the page and then waits for
    // this transaction's page lock.
    lockMgr->requestSlot(segment, fsiPageId, getFsiSlot(candidate), LM::ExclusiveLock);
    std::unique_ptr<MoxScopedPage> page;
    FsiEntry entry;
    markEmptyPage(entry);
    try {
        page = createPageFixed(segment, candidate, MoxPage::DataPage);
        MoxSlottedPage(page->getPage()->getPageData(), segment).format();
    } catch (const MoxException& exception) {
        if (!isExisting(exception.getErrorCode())) {
            throw;
        }
        // A page that exists without its entry (a failure came between the
        // two) is registered as it is: skipping its number would leave a
        // hole, at which every scan of the table would end.
        page = std::make_unique<MoxScopedPage>(segment, candidate, MoxPage::DataPage, MoxScopedPage::GetExistingPage);
        entry = entryOf(page->getPage());
    }
    addFsiEntry_seg(segment, candidate, entry);
    return page;
}
