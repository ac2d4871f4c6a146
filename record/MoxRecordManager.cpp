#include "MoxRecordManager.h"

#include <boost/algorithm/string/case_conv.hpp>
#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <cstdlib>
#include <iostream>
#include <vector>

#include "MoxRecordIterator.h"
#include "MoxSlottedPage.h"
#include "MoxTablePrinter.h"
#include "../buffer/MoxBufferManager.h"
#include "../catalog/MoxCatalogManager.h"
#include "../lock/MoxScopedLock.h"
#include "../log/MoxLogManager.h"
#include "../log/MoxRecordLogEntry.h"
#include "../support/MoxDebug.h"
#include "../support/MoxError.h"
#include "../support/MoxException.h"
#include "../support/MoxMemoryManager.h"
#include "../support/MoxTrace.h"
#include "../transaction/MoxTransactionManager.h"

static const MoxComponent componentId = RecordManager;

namespace {

typedef MoxLockManager LM;

void requirePage(const void* page) {
    if (page == nullptr) {
        THROW(MOX_PARAMETER_FAIL);
    }
}

MoxSlottedPage viewOf(const MoxPage* page) {
    return MoxSlottedPage::of(*page);
}

const char* imageOf(const MoxRecord* record) {
    return record == nullptr ? nullptr : reinterpret_cast<const char*>(record->getRecordData());
}

}  // namespace

MoxRecordManager* MoxRecordManager::instance = nullptr;

MoxRecordManager* MoxRecordManager::getInstance() {
    if (instance == nullptr) {
        instance = new MoxRecordManager();
    }
    return instance;
}

MoxRecordManager::MoxRecordManager()
    : bufferMgr(MoxBufferManager::getInstance()),
      lockMgr(MoxLockManager::getInstance()),
      memMgr(MoxMemoryManager::getMemoryManager()),
      logMgr(MoxLogManager::getInstance()),
      transMgr(MoxTransactionManager::getInstance()) {
    MOX_TRACE_ENTRY();
    MoxDebug::registerFunction(debugTableAll, nullptr, "table_all", "Dumps the Content (all pages) of a given table.");
    MoxDebug::registerFunction(debugTablePage, nullptr, "table_page", "Dumps a given page of a given table");
    MoxDebug::registerFunction(debugTablePages, nullptr, "table_pages", "Dumps a interval of pages of a given table");
}

MoxRecordManager::~MoxRecordManager() {
    MOX_TRACE_ENTRY();
    if (instance == this) {
        instance = nullptr;
    }
}

SegmentId MoxRecordManager::segmentOf(TableId table) {
    MOX_TRACE_ENTRY();
    SegmentId segment = MoxBufferManager::convertTableIdToSegmentId(table);
    if (segment == 0) {
        THROW(MOX_PARAMETER_FAIL);
    }
    return segment;
}

void MoxRecordManager::checkRecordLength(const MoxRecord& record) {
    MOX_TRACE_ENTRY();
    if (record.getLength() > MAX_RECORD_LENGTH) {
        THROW(MOX_RM_INSERT_RECORD_TOO_LONG);
    }
    if (record.getLength() == 0) {
        THROW(MOX_RM_NULL_LEN_REC);
    }
}

TupleId MoxRecordManager::forwardingTarget(const Slot& forwarding) {
    TupleId target;
    target.page = forwarding.offset;
    target.slot = static_cast<SlotId>(forwarding.recordLength & 0xFF);
    return target;
}

void MoxRecordManager::checkMovedRecord(const MoxPage* page, SlotId slot) {
    MOX_TRACE_ENTRY();
    MoxSlottedPage view = viewOf(page);
    if (slot >= view.numberOfSlots()) {
        THROW(MOX_RM_RECORD_OUT_OF_PAGE_BOUNDS);
    }
    if (view.slot(slot).recordType != SecondaryRecord) {
        THROW(MOX_INTERNAL_FAIL);
    }
}

SegmentId MoxRecordManager::openTable(TableId table) {
    MOX_TRACE_ENTRY();
    SegmentId segment = segmentOf(table);
    bufferMgr->openSegment(segment);
    return segment;
}

MoxLsn MoxRecordManager::logChange(SegmentId segment, const MoxRecord* before, const MoxRecord* after,
                                   MoxAbstractLogEntry::transType type, const TupleId* primary,
                                   const TupleId* oldSecondary, const TupleId* newSecondary) {
    MOX_TRACE_ENTRY();
    MoxRecordLogEntry entry(loggedTransaction(), segment, imageOf(before), before == nullptr ? 0 : before->getLength(),
                            imageOf(after), after == nullptr ? 0 : after->getLength(), type, primary, oldSecondary,
                            newSecondary);
    return logMgr->createLogEntry(&entry);
}

std::unique_ptr<MoxScopedPage> MoxRecordManager::createPageFixed(SegmentId segment, PageId pageId,
                                                                 MoxPage::PageType type) {
    MOX_TRACE_ENTRY();
    // The pool creates a page once only, and this form also refuses a page
    // that its file holds: the check and the creation are one step under
    // the pool latch, so two processes can never both create one page.
    MoxPage* created = nullptr;
    bufferMgr->getNewPage(segment, pageId, type, created);
    return holdCreatedPage(segment, pageId, type, created);
}

std::unique_ptr<MoxScopedPage> MoxRecordManager::holdCreatedPage(SegmentId segment, PageId pageId,
                                                                 MoxPage::PageType type, MoxPage*& created) {
    MOX_TRACE_ENTRY();
    // A scoped page fixes through the buffer manager only: it takes a second
    // fix, then the creation's fix goes.
    std::unique_ptr<MoxScopedPage> page;
    try {
        page = std::make_unique<MoxScopedPage>(segment, pageId, type, MoxScopedPage::GetExistingPage);
    } catch (const MoxException&) {
        try {
            bufferMgr->releasePage(created);
        } catch (const MoxException& releaseFailure) {
            releaseFailure.SET_ERROR();
            MOX_TRACE_ERROR();
        }
        throw;
    }
    bufferMgr->releasePage(created);
    return page;
}

// --- Locks ---

void MoxRecordManager::checkLockOnPage(SegmentId segment, PageId pageId, bool withSlot, SlotId slot) {
    MOX_TRACE_ENTRY();
    if (lockMgr->existsLock(segment, pageId, LM::NO_SLOT) || (withSlot && lockMgr->existsLock(segment, pageId, slot)) ||
        lockMgr->existsLock(segment, LM::NO_PAGE, LM::NO_SLOT) ||
        lockMgr->existsLock(LM::NO_SEG, LM::NO_PAGE, LM::NO_SLOT)) {
        return;
    }
    THROW(MOX_INTERNAL_FAIL);
}

bool MoxRecordManager::holdsExclusively(SegmentId segment, PageId pageId, SlotId slot) {
    MOX_TRACE_ENTRY();
    bool exists = false;
    LM::LockType type = LM::SharedLock;
    lockMgr->getLockTypeIfLockExists(exists, type, segment, pageId, slot);
    return exists && type == LM::ExclusiveLock;
}

void MoxRecordManager::lockClaimedPage(SegmentId segment, PageId pageId, bool newlyClaimed) {
    MOX_TRACE_ENTRY();
    try {
        lockPageExclusively(segment, pageId);
    } catch (const MoxException&) {
        // An entry claimed for a page that the transaction did not get keeps
        // others off the page for nothing; and the rollback that follows a
        // deadlock here would hold it while another transaction's rollback,
        // which changed the page, waits for the entry to refresh it.
        if (newlyClaimed) {
            try {
                lockMgr->releaseSlot(segment, getFsiPageId(pageId), getFsiSlot(pageId));
            } catch (const MoxException& releaseFailure) {
                releaseFailure.SET_ERROR();
                MOX_TRACE_ERROR();
            }
        }
        throw;
    }
}

void MoxRecordManager::lockPageExclusively(SegmentId segment, PageId pageId) {
    MOX_TRACE_ENTRY();
    // The request would be granted without a new entry; asking first saves
    // the intention entries it adds and takes back on every insert.
    if (!holdsExclusively(segment, pageId, LM::NO_SLOT)) {
        lockMgr->requestPage(segment, pageId, LM::ExclusiveLock);
    }
}

// --- Tables and records ---

void MoxRecordManager::createTable(TableId table) {
    MOX_TRACE_ENTRY();
    const SegmentId segment = segmentOf(table);
    lockMgr->requestSegment(segment, LM::ExclusiveLock);
    try {
        bufferMgr->createSegment(segment);
    } catch (const MoxException& exception) {
        if (exception.getErrorCode() == MOX_FM_FILE_ALREADY_EXISTS) {
            THROW_wARGS1(MOX_RM_TABLE_ALREADY_EXISTS, table);
        }
        throw;
    }
}

void MoxRecordManager::dropTable(TableId table) {
    MOX_TRACE_ENTRY();
    const SegmentId segment = segmentOf(table);
    lockMgr->requestSegment(segment, LM::ExclusiveLock);
    bufferMgr->dropSegment(segment);
}

void MoxRecordManager::insert(const MoxRecord& record, TableId table, TupleId& tid) {
    MOX_TRACE_ENTRY();
    insert(record, table, PrimaryRecord, tid);
}

void MoxRecordManager::insert(const MoxRecord& record, TableId table, RecordType type, TupleId& tid) {
    MOX_TRACE_ENTRY();
    if (type != PrimaryRecord) {
        THROW(MOX_INTERNAL_FAIL);
    }
    checkRecordLength(record);
    SegmentId segment = openTable(table);
    std::unique_ptr<MoxScopedPage> page;
    Uint16 offset = 0;
    SlotId slot = 0;
    getFittingPage(table, record.getLength(), page, offset, slot);
    TupleId placed;
    placed.page = page->getPage()->getPageId();
    placed.slot = slot;
    MoxLsn lsn = logChange(segment, nullptr, &record, MoxAbstractLogEntry::INSERT, &placed, nullptr, nullptr);
    insertRecordOnPage(page->getPage(), slot, record, PrimaryRecord, offset);
    updateFreeSpace(page->getPage(), false);
    tid = placed;
    THROW_RC(page->getPage()->markAsModified(lsn));
}

void MoxRecordManager::get(TableId table, const TupleId& tid, MoxRecord*& record) {
    MOX_TRACE_ENTRY();
    get(table, tid, true, false, record);
}

void MoxRecordManager::getForUpdate(TableId table, const TupleId& tid, MoxRecord*& record) {
    MOX_TRACE_ENTRY();
    get(table, tid, true, true, record);
}

void MoxRecordManager::get(TableId table, const TupleId& tid, bool primaryOnly, bool lockForUpdate,
                           MoxRecord*& record) {
    MOX_TRACE_ENTRY();
    get(table, tid, primaryOnly, lockForUpdate, record, segmentOf(table));
}

void MoxRecordManager::get(TableId, const TupleId& tid, bool primaryOnly, bool lockForUpdate, MoxRecord*& record,
                           SegmentId segment) {
    MOX_TRACE_ENTRY();
    bufferMgr->openSegment(segment);
    // No record lives on an inventory page, and fixing one as a data page
    // would only report a page of the wrong type.
    if (isFsiPage(tid.page)) {
        THROW(MOX_RM_REC_NOT_FOUND);
    }
    const LM::LockType type = lockForUpdate ? LM::ExclusiveLock : LM::SharedLock;
    lockMgr->requestSlot(segment, tid.page, tid.slot, type);
    MoxScopedPage page(segment, tid.page, MoxPage::DataPage, MoxScopedPage::GetExistingPage);
    MoxSlottedPage view = viewOf(page.getPage());
    if (tid.slot >= view.numberOfSlots() || MoxSlottedPage::isFree(view.slot(tid.slot))) {
        THROW(MOX_RM_REC_NOT_FOUND);
    }
    const Slot entry = view.slot(tid.slot);
    switch (entry.recordType) {
        case PrimaryRecord:
            getRecordFromPage(page.getPage(), tid, record);
            return;
        case SecondaryRecord:
            if (primaryOnly) {
                THROW(MOX_INTERNAL_FAIL);
            }
            getRecordFromPage(page.getPage(), tid, record);
            return;
        case PlaceHolderTid: {
            const TupleId target = forwardingTarget(entry);
            lockMgr->requestSlot(segment, target.page, target.slot, type);
            MoxScopedPage targetPage(segment, target.page, MoxPage::DataPage, MoxScopedPage::GetExistingPage);
            MoxSlottedPage targetView = viewOf(targetPage.getPage());
            // A forwarding slot that leads to anything but a moved record is
            // damage; its bytes are not the record's.
            if (target.slot < targetView.numberOfSlots() &&
                targetView.slot(target.slot).recordType != SecondaryRecord) {
                THROW(MOX_INTERNAL_FAIL);
            }
            getRecordFromPage(targetPage.getPage(), target, record);
            // The caller's TupleId, so that the record can be handed back to
            // replace and remove, which accept only that one.
            record->setTupleId(tid);
            return;
        }
        default:
            THROW(MOX_INTERNAL_FAIL);
    }
}

void MoxRecordManager::getRecordIterator(TableId table, MoxRecordIterator*& iterator) {
    MOX_TRACE_ENTRY();
    iterator = new MoxRecordIterator(table);
}

void MoxRecordManager::commit() {
    MOX_TRACE_ENTRY();
    logEnd(transMgr->getCurrentTransactionID(), MoxAbstractLogEntry::COMMIT);
}

// --- Scans ---

void MoxRecordManager::findNextRecord(TableId table, TupleId& tid) {
    MOX_TRACE_ENTRY();
    // A scan opens its table when it starts; each step after that reads the
    // record it found with get, which opens it again: a file existence test
    // per step is enough.
    SegmentId segment = tid.page == 0 ? openTable(table) : segmentOf(table);
    PageId pageId = tid.page;
    Uint16 firstSlot = static_cast<Uint16>(tid.slot + 1);
    if (tid.page == 0) {
        pageId = 1;
        firstSlot = 0;
    } else if (tid.slot >= MOX_SLOT_METADATA) {
        if (tid.page >= MOX_MAX_PAGE_ID) {
            THROW(MOX_RM_NO_MORE_PAGES);
        }
        pageId = static_cast<PageId>(tid.page + 1);
        firstSlot = 0;
    }
    while (true) {
        // Behind page 254 lies an inventory page, which holds no records and
        // cannot be fixed as a data page.
        if (isFsiPage(pageId)) {
            findNextPage(segment, pageId);
            firstSlot = 0;
        }
        lockMgr->requestPage(segment, pageId, LM::SharedLock);
        std::unique_ptr<MoxScopedPage> page;
        try {
            page = std::make_unique<MoxScopedPage>(segment, pageId, MoxPage::DataPage, MoxScopedPage::GetExistingPage);
        } catch (const MoxException& exception) {
            if (exception.getErrorCode() != MOX_BM_PAGE_NOT_FOUND) {
                throw;
            }
        }
        if (page != nullptr) {
            MoxSlottedPage view = viewOf(page->getPage());
            for (Uint16 slot = firstSlot; slot < view.numberOfSlots(); ++slot) {
                const Slot& entry = view.slot(static_cast<SlotId>(slot));
                if (!MoxSlottedPage::isFree(entry) && entry.recordType != SecondaryRecord) {
                    tid.page = pageId;
                    tid.slot = static_cast<SlotId>(slot);
                    return;
                }
            }
        }
        findNextPage(segment, pageId);
        firstSlot = 0;
    }
}

void MoxRecordManager::findNextPage(const SegmentId& segment, PageId& pageId) {
    MOX_TRACE_ENTRY();
    // Up to the last page number there is: a record on page 65534 is a
    // record like any other.
    for (Uint32 candidate = pageId + 1u; candidate <= MOX_MAX_PAGE_ID; ++candidate) {
        FsiEntry entry = {};
        try {
            findFsiEntry(segment, static_cast<PageId>(candidate), entry);
        } catch (const MoxException& exception) {
            if (exception.getErrorCode() == MOX_RM_FSI_ENTRY_NOT_ALLOWED) {
                continue;
            }
            if (exception.getErrorCode() == MOX_RM_NO_FSI_ENTRY_FOR_PAGE) {
                break;
            }
            throw;
        }
        if (entry.freeSpaceBlock == 255 && (entry.freeSpace == 0 || entry.freeSpace == 255)) {
            break;
        }
        pageId = static_cast<PageId>(candidate);
        return;
    }
    THROW(MOX_RM_NO_MORE_PAGES);
}

// --- Choosing and appending pages ---

void MoxRecordManager::getFittingPage(const TableId& table, const Uint16& length, std::unique_ptr<MoxScopedPage>& page,
                                      Uint16& offset, SlotId& slot) {
    MOX_TRACE_ENTRY();
    const SegmentId segment = segmentOf(table);
    // MOX_INVALID_PAGE_ID: the search ran past the last page number.
    PageId start = 1;
    while (true) {
        PageId pageId = MOX_INVALID_PAGE_ID;
        bool newlyClaimed = false;
        if (start != MOX_INVALID_PAGE_ID) {
            // No page with room, or no inventory yet: a new page it is.
            MoxErrorCode notFound = MOX_SUCCESS;
            pageId = searchFreeMemoryBlock(segment, static_cast<Uint16>(length + sizeof(Slot)), start, notFound,
                                           newlyClaimed);
        }
        const bool found = pageId != MOX_INVALID_PAGE_ID;
        std::unique_ptr<MoxScopedPage> candidate;
        if (found) {
            lockClaimedPage(segment, pageId, newlyClaimed);
            candidate =
                std::make_unique<MoxScopedPage>(segment, pageId, MoxPage::DataPage, MoxScopedPage::GetExistingPage);
        } else {
            createNewPage(table, pageId, candidate);
        }
        try {
            MoxSlottedPage view = viewOf(candidate->getPage());
            SlotId chosen = 0;
            getFreeSlotId(&view.header(), chosen);
            Uint16 placed = 0;
            calcOffset(candidate->getPage(), length, placed);
            const Uint16 slotsAfter = view.numberOfSlots() + (chosen == view.numberOfSlots() ? 1 : 0);
            if (placed < MoxSlottedPage::reservedDirectoryEnd(slotsAfter)) {
                THROW(MOX_RM_NO_MORE_SLOTS);
            }
            page = std::move(candidate);
            offset = placed;
            slot = chosen;
            return;
        } catch (const MoxException& exception) {
            if (exception.getErrorCode() != MOX_RM_NO_MORE_SLOTS && exception.getErrorCode() != MOX_RM_SLOT_OVER_DATA) {
                throw;
            }
        }
        // The inventory promised room that the directory cannot give: the
        // entry is refreshed and the search goes on behind the page, whose
        // lock stays.
        updateFreeSpace(candidate->getPage(), false);
        start = pageId < MOX_MAX_PAGE_ID ? static_cast<PageId>(pageId + 1) : MOX_INVALID_PAGE_ID;
    }
}

void MoxRecordManager::createNewPage(const TableId& table, PageId& pageId, std::unique_ptr<MoxScopedPage>& page) {
    MOX_TRACE_ENTRY();
    const SegmentId segment = segmentOf(table);
    PageId candidate = 0;
    std::unique_ptr<MoxScopedPage> created;
    while (created == nullptr) {
        candidate = nextNewPageId(segment);
        created = appendPage(segment, candidate);
    }
    // Registered and with its entry locked, the page is this transaction's;
    // its lock may still have to wait for a reader that looked for it.
    lockPageExclusively(segment, candidate);
    updateFreeSpace(created->getPage(), false);
    pageId = candidate;
    page = std::move(created);
}

// --- The slotted data page ---

void MoxRecordManager::getFreeSlotId(const SlotPageHeader* header, SlotId& slot) {
    MOX_TRACE_ENTRY();
    requirePage(header);
    slot = MoxSlottedPage(reinterpret_cast<unsigned char*>(const_cast<SlotPageHeader*>(header))).freeSlotId();
}

void MoxRecordManager::findFreeSpaceInPage(const MoxPage* page, Uint16& freeSpace) {
    MOX_TRACE_ENTRY();
    requirePage(page);
    std::unique_ptr<MoxScopedLock> entryLock = lockFsiEntry(page->getSegmentId(), page->getPageId(), LM::SharedLock);
    freeSpace = viewOf(page).freeSpace();
}

void MoxRecordManager::findLargestFreeSpaceInPage(const MoxPage* page, Uint16& maxBlockOffset, Uint16& maxBlockSize) {
    MOX_TRACE_ENTRY();
    requirePage(page);
    std::unique_ptr<MoxScopedLock> entryLock = lockFsiEntry(page->getSegmentId(), page->getPageId(), LM::SharedLock);
    viewOf(page).largestFreeBlock(maxBlockOffset, maxBlockSize);
}

void MoxRecordManager::calcOffset(const MoxPage* page, const Uint16& length, Uint16& offset) {
    MOX_TRACE_ENTRY();
    requirePage(page);
    checkLockOnPage(page->getSegmentId(), page->getPageId(), false, 0);
    std::unique_ptr<MoxScopedLock> entryLock = lockFsiEntry(page->getSegmentId(), page->getPageId(), LM::SharedLock);
    offset = viewOf(page).placeRecord(length);
}

void MoxRecordManager::insertRecordOnPage(MoxPage* page, SlotId slot, const MoxRecord& record, RecordType type,
                                          const Uint16& offset) {
    MOX_TRACE_ENTRY();
    requirePage(page);
    checkLockOnPage(page->getSegmentId(), page->getPageId(), true, slot);
    viewOf(page).writeRecord(slot, record.getRecordData(), record.getLength(), type, offset);
}

void MoxRecordManager::getRecordFromPage(MoxPage* page, const TupleId& tid, MoxRecord*& record) {
    MOX_TRACE_ENTRY();
    requirePage(page);
    checkLockOnPage(page->getSegmentId(), page->getPageId(), true, tid.slot);
    MoxSlottedPage view = viewOf(page);
    const unsigned char* bytes = view.recordBytes(tid.slot);
    std::unique_ptr<MoxRecord> created;
    if (record == nullptr) {
        created = std::make_unique<MoxRecord>();
    }
    MoxRecord& target = record == nullptr ? *created : *record;
    target.setData(bytes, view.slot(tid.slot).recordLength);
    target.setTupleId(tid);
    if (created != nullptr) {
        record = created.release();
    }
}

void MoxRecordManager::reorganizePage(MoxPage* page, Uint16& freeSpace, Uint16& freeSpaceOffset) {
    MOX_TRACE_ENTRY();
    requirePage(page);
    checkLockOnPage(page->getSegmentId(), page->getPageId(), false, 0);
    viewOf(page).reorganize(freeSpace, freeSpaceOffset);
}

// --- Dumps ---

void MoxRecordManager::dumpTableInfo(TableId table) {
    MOX_TRACE_ENTRY();
    dumpPages(table, 0, MOX_MAX_PAGE_ID, false);
}

void MoxRecordManager::dumpTableContent(TableId table) {
    MOX_TRACE_ENTRY();
    dumpPages(table, 0, MOX_MAX_PAGE_ID, true);
}

void MoxRecordManager::dumpPagesInfo(TableId table, PageId first, PageId last) {
    MOX_TRACE_ENTRY();
    dumpPages(table, first, last, false);
}

void MoxRecordManager::dumpPagesContent(TableId table, PageId first, PageId last) {
    MOX_TRACE_ENTRY();
    dumpPages(table, first, last, true);
}

void MoxRecordManager::dumpPages(TableId table, PageId first, PageId last, bool full) {
    MOX_TRACE_ENTRY();
    const SegmentId segment = openTable(table);
    std::cout << "----------DUMP----------\n"
              << "TableId: " << table << '\n'
              << "SegmentId: " << segment << '\n';
    lockMgr->requestSegment(segment, LM::SharedLock);
    if (!full) {
        MoxTablePrinter(std::cout).infoHeading();
    }
    for (Uint32 pageId = first; pageId <= last; ++pageId) {
        try {
            if (full) {
                dumpPageContent(table, static_cast<PageId>(pageId));
            } else {
                dumpPageInfo(table, static_cast<PageId>(pageId), false);
            }
        } catch (const MoxException& exception) {
            if (exception.getErrorCode() != MOX_BM_PAGE_NOT_FOUND) {
                throw;
            }
            if (pageId == 0) {
                std::cout << "Table is empty!\n";
            }
            break;
        }
    }
    std::cout << "--------END DUMP--------" << std::endl;
}

std::unique_ptr<MoxScopedPage> MoxRecordManager::fixForDump(TableId table, PageId pageId) {
    MOX_TRACE_ENTRY();
    const SegmentId segment = openTable(table);
    lockMgr->requestPage(segment, pageId, LM::SharedLock);
    const MoxPage::PageType type = isFsiPage(pageId) ? MoxPage::FreeSpaceInventoryPage : MoxPage::DataPage;
    return std::make_unique<MoxScopedPage>(segment, pageId, type, MoxScopedPage::GetExistingPage);
}

void MoxRecordManager::dumpPageInfo(TableId table, PageId pageId, bool single) {
    MOX_TRACE_ENTRY();
    std::unique_ptr<MoxScopedPage> page = fixForDump(table, pageId);
    MoxTablePrinter printer(std::cout);
    if (single) {
        printer.infoHeading();
    }
    printer.infoRow(*page->getPage());
    std::cout.flush();
}

void MoxRecordManager::dumpPageContent(TableId table, PageId pageId) {
    MOX_TRACE_ENTRY();
    std::unique_ptr<MoxScopedPage> page = fixForDump(table, pageId);
    MoxTablePrinter(std::cout).content(*page->getPage());
    std::cout.flush();
}

// --- Debug commands ---

TableId MoxRecordManager::tableIdOfName(const std::string& name) {
    MOX_TRACE_ENTRY();
    TableId table = MOX_UNKNOWN_TABLE_ID;
    THROW_RC(MoxCatalogManager::getInstance()->getTableId(name, table));
    return table;
}

void MoxRecordManager::runTableCommand(
    const char* args, size_t wordCount, const char* usage,
    const std::function<void(MoxRecordManager&, bool, TableId, const PageId*)>& dump) {
    MOX_TRACE_ENTRY();
    std::string text = args == nullptr ? std::string() : std::string(args);
    std::vector<std::string> words;
    boost::split(words, text, boost::is_any_of(" "));
    // Page numbers are decimal and at most the last page number; anything
    // else would name another page than the one meant.
    PageId pages[2] = {0, 0};
    bool wellFormed = words.size() == wordCount;
    for (size_t i = 2; wellFormed && i < words.size(); ++i) {
        const std::string& word = words[i];
        wellFormed = !word.empty() && word.size() <= 5 && word.find_first_not_of("0123456789") == std::string::npos &&
                     atoi(word.c_str()) <= MOX_MAX_PAGE_ID;
        pages[i - 2] = static_cast<PageId>(atoi(word.c_str()));
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
        TableId table = tableIdOfName(boost::to_upper_copy(words[1]));
        dump(*getInstance(), words[0] == "dump", table, pages);
    } catch (const MoxException& exception) {
        std::cout << "Error" << std::endl;
        exception.print(std::cout);
        std::cout.flush();
    }
}

void MoxRecordManager::debugTableAll(const char* args) {
    MOX_TRACE_ENTRY();
    runTableCommand(args, 2, "USAGE: show table_all (info|dump) <tableName>",
                    [](MoxRecordManager& manager, bool full, TableId table, const PageId*) {
                        if (full) {
                            manager.dumpTableContent(table);
                        } else {
                            manager.dumpTableInfo(table);
                        }
                    });
}

void MoxRecordManager::debugTablePage(const char* args) {
    MOX_TRACE_ENTRY();
    runTableCommand(args, 3, "USAGE: show table_page (info|dump) <tableName> <pageId>",
                    [](MoxRecordManager& manager, bool full, TableId table, const PageId* pages) {
                        if (full) {
                            manager.dumpPageContent(table, pages[0]);
                        } else {
                            manager.dumpPageInfo(table, pages[0], true);
                        }
                    });
}

void MoxRecordManager::debugTablePages(const char* args) {
    MOX_TRACE_ENTRY();
    runTableCommand(args, 4, "USAGE: show table_pages (info|dump) <tableName> <pageId1> <pageId2>",
                    [](MoxRecordManager& manager, bool full, TableId table, const PageId* pages) {
                        if (full) {
                            manager.dumpPagesContent(table, pages[0], pages[1]);
                        } else {
                            manager.dumpPagesInfo(table, pages[0], pages[1]);
                        }
                    });
}
