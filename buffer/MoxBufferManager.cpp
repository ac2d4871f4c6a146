#include "MoxBufferManager.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <cstdint>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <string>
#include <vector>

#include "MoxBufferContent.h"
#include "MoxDumpTable.h"
#include "../file/MoxFileManager.h"
#include "../support/MoxDebug.h"
#include "../support/MoxError.h"
#include "../support/MoxException.h"
#include "../support/MoxFirstFailure.h"
#include "../support/MoxProcess.h"
#include "../support/MoxScopedLatch.h"
#include "../support/MoxScopedMemorySet.h"
#include "../support/MoxTrace.h"
#include "../support/profiling/ScopedTimer.h"

using namespace MoxBufferManagerProfiling;
using support::profiling::Counter;
using support::profiling::Timer;

static const MoxComponent componentId = BufferManager;

namespace {

typedef support::ScopedTimer<Profiler, BufferManagerTimers> ScopedTimer;

// The header at the front of the page bytes; copied out, the bytes being raw.
MoxPage::PageHeader headerOf(const MoxPage& page) {
    MoxPage::PageHeader header;
    memcpy(&header, page.getPageData(), sizeof(header));
    return header;
}

float hitRatio(Uint32 logical, Uint32 physical) {
    return logical == 0 ? 0.0f : static_cast<float>(logical - physical) / static_cast<float>(logical);
}

}  // namespace

// Throws for a failed file call with the call's text, as THROW_RC does for
// a call written in place.
#define MOX_BM_RAISE(rc, callText) MoxException::raise((rc), (callText), __FILE__, __LINE__, __FUNCTION__)

MoxBufferManager* MoxBufferManager::instance = nullptr;
Uint16 MoxBufferManager::frameLimit = 0;

MoxBufferManager::MoxBufferManager()
    : fileMgr(MoxFileManager::getInstance()),
      header(nullptr),
      latch(nullptr),
      hash(nullptr),
      lru(nullptr),
      data(nullptr),
      profiler(),
      dropPending(),
      openSegments(),
      newSegments(),
      logicalReads(0),
      physicalReads(0),
      ownerProcess(MoxProcess::id()) {
    MOX_TRACE_ENTRY();
    void* address = nullptr;
    MoxMemoryManager::getMemoryManager()->connectToMemorySet(MoxMemoryManager::BufferPool, address);
    MoxBufferContent* pool = static_cast<MoxBufferContent*>(address);
    latch = &pool->latch;
    header = &pool->header;
    hash = &pool->hash;
    lru = &pool->lru;
    data = pool->pages;
    MoxBMHash::setPagesPointer(data);
    MoxLRU::setPagesPointer(data);
    // Every measure exists from the start: a timer running in an outer
    // operation holds a reference into the profiler's arrays, which naming a
    // new measure in an inner one would otherwise reallocate.
    profiler.setElementName(GetPageTime, GetPageTimeName, Timer());
    profiler.setElementName(GetNewPageTime, GetNewPageTimeName, Timer());
    profiler.setElementName(GetFlushAllTime, GetFlushAllTimeName, Timer());
    profiler.setElementName(GetFlushSinglePageTime, GetFlushSinglePageTimeName, Timer());
    profiler.setElementName(PhysicalReads, PhysicalReadsName, Counter());
    profiler.setElementName(LogicalReads, LogicalReadsName, Counter());
    MoxDebug::registerFunction(debugBufferStats_static, debugRstBufferStats_static, "BM_STATS", "");
}

MoxBufferManager::~MoxBufferManager() {
    MOX_TRACE_ENTRY();
    // A destructor cannot report: failures go to the error object.
    try {
        flushAll();
    } catch (const MoxException& exception) {
        exception.SET_ERROR();
        MOX_TRACE_ERROR();
    }
    try {
        MoxMemoryManager::getMemoryManager()->disconnectFromMemorySet(MoxMemoryManager::BufferPool);
    } catch (const MoxException& exception) {
        exception.SET_ERROR();
        MOX_TRACE_ERROR();
    }
    if (instance == this) {
        instance = nullptr;
    }
}

MoxBufferManager* MoxBufferManager::getInstance() {
    if (instance == nullptr) {
        instance = new MoxBufferManager();
    }
    return instance;
}

void MoxBufferManager::initializeBuffer() {
    MOX_TRACE_ENTRY();
    MoxMemoryManager::getMemoryManager()->createMemorySet(MoxMemoryManager::BufferPool);
    MoxScopedMemorySet connection(MoxMemoryManager::BufferPool);
    MoxBufferContent* pool = static_cast<MoxBufferContent*>(connection.getData());
    MoxLatch* latch = &pool->latch;
    THROW_RC(latch->initialize());
    pool->header.logicalReads = 0;
    pool->header.physicalReads = 0;
    pool->hash.initialize();
    pool->lru.initialize();
    connection.disconnect();
}

void MoxBufferManager::haveFixedPages(bool& inUse) {
    MOX_TRACE_ENTRY();
    inUse = false;
    MoxScopedMemorySet::workIfExists(MoxMemoryManager::BufferPool, [&inUse](void* data) {
        for (const MoxPage& frame : static_cast<const MoxBufferContent*>(data)->pages) {
            if (frame.fixCount > 0) {
                inUse = true;
                return;
            }
        }
    });
}

void MoxBufferManager::destroyBuffer() {
    MOX_TRACE_ENTRY();
    if (!MoxScopedMemorySet::destroyLatchedSet(MoxMemoryManager::BufferPool)) {
        // Harmless for a pool that is gone, but a database directory that
        // cannot be resolved fails here (MM002), so that a mistyped
        // MOX_DATABASE_PATH is not reported as a successful stop.
        MoxMemoryManager::getMemoryManager()->destroyMemorySet(MoxMemoryManager::BufferPool);
    }
}

void MoxBufferManager::countRead(BufferManagerCounters counter, const char* name, Uint32& own) {
    MOX_TRACE_ENTRY();
    profiler.setElementName(counter, name, Counter());
    profiler.getMeasureValueReference(counter, Counter()).first += 1;
    ++own;
}

void MoxBufferManager::adoptCallingProcess() {
    pid_t self = MoxProcess::id();
    if (self != ownerProcess) {
        newSegments.clear();
        dropPending.clear();
        ownerProcess = self;
    }
}

void MoxBufferManager::checkNotDropped(SegmentId segmentId, PageId pageId) {
    MOX_TRACE_ENTRY();
    adoptCallingProcess();
    if (dropPending.count(segmentId) != 0) {
        THROW_wARGS2(MOX_BM_SEGMENT_DROPPED, pageId, segmentId);
    }
}

void MoxBufferManager::getPage(SegmentId segmentId, PageId pageId, MoxPage::PageType pageType, MoxPage*& page) {
    MOX_TRACE_ENTRY();
    MOX_TRACE_NUMBER(1, "Segment", static_cast<Uint32>(segmentId));
    MOX_TRACE_NUMBER(1, "Page", static_cast<Uint32>(pageId));
    profiler.setElementName(GetPageTime, GetPageTimeName, Timer());
    ScopedTimer timed(profiler, GetPageTime);
    MoxScopedExclusiveLatch poolLatch(*latch);
    countRead(LogicalReads, LogicalReadsName, logicalReads);
    ++header->logicalReads;
    checkNotDropped(segmentId, pageId);

    Uint16 index = 0;
    MoxPage* frame = hash->find(segmentId, pageId, index);
    if (frame != nullptr) {
        lru->touch(index);
    } else {
        index = chooseFrame(poolLatch);
        loadPage(index, segmentId, pageId);
        frame = &data[index];
    }

    // A mismatch leaves the page in the pool, unfixed.
    MoxPage::PageHeader pageHeader = headerOf(*frame);
    if (pageHeader.pageId != pageId) {
        THROW_wARGS3(MOX_BM_PAGEID_MISMATCH, pageId, segmentId, pageHeader.pageId);
    }
    if (pageHeader.pageType != pageType) {
        THROW_wARGS4(MOX_BM_PAGETYPE_MISMATCH, pageId, segmentId, pageHeader.pageType, pageType);
    }
    ++frame->fixCount;
    page = frame;
}

Uint16 MoxBufferManager::chooseFrame(const MoxScopedExclusiveLatch& poolLatch) {
    MOX_TRACE_ENTRY();
    Uint16 index = lru->getFreeSlot();
    if (index == MoxLRU::EMPTY_LIST_HEAD || overFrameLimit()) {
        try {
            lru->remove(index);
        } catch (const MoxException& exception) {
            if (exception.getErrorCode() == MOX_NOT_FOUND_WARN) {
                THROW(MOX_BM_BUFFER_FULL);
            }
            throw;
        }
        MoxPage& victim = data[index];
        if (victim.dirty) {
            try {
                flushSinglePage(index, poolLatch);
            } catch (const MoxException&) {
                // The victim still holds its page: back onto the used list,
                // as most recently used, so that other victims get a turn.
                lru->insert(index);
                throw;
            }
        }
        hash->remove(index);
        victim.segmentId = 0;
    }
    if (data[index].segmentId != 0) {
        THROW(MOX_INTERNAL_FAIL);
    }
    return index;
}

bool MoxBufferManager::overFrameLimit() const {
    if (frameLimit == 0) {
        return false;
    }
    Uint16 used = 0;
    for (Uint16 index = 0; index < MOX_BM_NUM_PAGES; ++index) {
        used = static_cast<Uint16>(used + (data[index].segmentId != 0 ? 1 : 0));
    }
    return used >= frameLimit;
}

bool MoxBufferManager::isNeverWritten(const unsigned char* bytes) {
    for (size_t i = 0; i < MOX_PAGE_SIZE; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

void MoxBufferManager::loadPage(Uint16 pageIndex, SegmentId segmentId, PageId pageId) {
    MOX_TRACE_ENTRY();
    MoxPage* page = &data[pageIndex];
    // Until the frame is linked in below, a failure leaves it free.
    MoxErrorCode rc = fileMgr->read(segmentId, pageId, page->data);
    if (rc == MOX_FM_PAGE_NOT_EXISTS) {
        THROW_wARGS2(MOX_BM_PAGE_NOT_FOUND, pageId, segmentId);
    }
    MOX_BM_RAISE(rc, "fileMgr->read(segmentId, pageId, page->data)");
    if (isNeverWritten(page->data)) {
        THROW_wARGS2(MOX_BM_PAGE_NOT_FOUND, pageId, segmentId);
    }
    MoxPage::PageHeader pageHeader = headerOf(*page);
    page->segmentId = segmentId;
    page->pageId = pageId;
    // The stored type, which equals the requested one for every request that
    // succeeds: a request with a wrong type must not leave the frame with a
    // type that makes every later release of the page fail.
    page->pageType = pageHeader.pageType;
    page->fixCount = 0;
    page->dirty = false;
    page->lsn = pageHeader.lsn;
    lru->insert(pageIndex);
    hash->insert(pageIndex);
    countRead(PhysicalReads, PhysicalReadsName, physicalReads);
    ++header->physicalReads;
}

void MoxBufferManager::getNewPage(SegmentId segmentId, PageId pageId, MoxPage::PageType pageType, MoxLsn lsn,
                                  MoxPage*& page) {
    MOX_TRACE_ENTRY();
    createPage(segmentId, pageId, pageType, lsn, false, page);
}

void MoxBufferManager::getNewPage(SegmentId segmentId, PageId pageId, MoxPage::PageType pageType, MoxPage*& page) {
    MOX_TRACE_ENTRY();
    createPage(segmentId, pageId, pageType, MoxLsn::dummyLSN(), true, page);
}

void MoxBufferManager::createPage(SegmentId segmentId, PageId pageId, MoxPage::PageType pageType, MoxLsn lsn,
                                  bool absentFromFile, MoxPage*& page) {
    MOX_TRACE_ENTRY();
    MOX_TRACE_NUMBER(1, "Segment", static_cast<Uint32>(segmentId));
    MOX_TRACE_NUMBER(1, "Page", static_cast<Uint32>(pageId));
    profiler.setElementName(GetNewPageTime, GetNewPageTimeName, Timer());
    ScopedTimer timed(profiler, GetNewPageTime);
    MoxScopedExclusiveLatch poolLatch(*latch);
    checkNotDropped(segmentId, pageId);
    // The number that means "no page": a file would grow to 256 MB for it.
    if (pageId == MOX_INVALID_PAGE_ID) {
        THROW(MOX_PARAMETER_FAIL);
    }
    Uint16 index = 0;
    if (hash->find(segmentId, pageId, index) != nullptr) {
        THROW_wARGS2(MOX_BM_PAGE_ALREADY_EXISTS_IN_BUFFER, pageId, segmentId);
    }
    if (absentFromFile) {
        unsigned char tmp[MOX_PAGE_SIZE] = {};
        MoxErrorCode rc = fileMgr->read(segmentId, pageId, tmp);
        if (rc == MOX_SUCCESS && !isNeverWritten(tmp)) {
            THROW_wARGS2(MOX_BM_PAGE_ALREADY_EXISTS_IN_FILE, pageId, segmentId);
        }
        if (rc != MOX_FM_PAGE_NOT_EXISTS) {
            MOX_BM_RAISE(rc, "fileMgr->read(segmentId, pageId, tmp)");
        }
    }

    index = chooseFrame(poolLatch);
    MoxPage& frame = data[index];
    memset(frame.data, 0, sizeof(frame.data));
    frame.segmentId = segmentId;
    frame.pageId = pageId;
    frame.pageType = pageType;
    frame.fixCount = 1;
    // Dirty from birth, so that the page reaches its file even unmarked.
    frame.dirty = true;
    frame.lsn = lsn;
    MoxPage::PageHeader pageHeader = {};
    pageHeader.pageId = pageId;
    pageHeader.pageType = pageType;
    pageHeader.lsn = lsn;
    memcpy(frame.data, &pageHeader, sizeof(pageHeader));
    lru->insert(index);
    hash->insert(index);
    page = &frame;
}

Uint16 MoxBufferManager::frameIndex(const MoxPage& page) const {
    MOX_TRACE_ENTRY();
    uintptr_t offset = reinterpret_cast<uintptr_t>(&page) - reinterpret_cast<uintptr_t>(data);
    if (offset % sizeof(MoxPage) != 0 || offset / sizeof(MoxPage) >= MOX_BM_NUM_PAGES) {
        THROW(MOX_INTERNAL_FAIL);
    }
    return static_cast<Uint16>(offset / sizeof(MoxPage));
}

void MoxBufferManager::releasePage(MoxPage*& page) {
    MOX_TRACE_ENTRY();
    if (page == nullptr) {
        THROW(MOX_PARAMETER_FAIL);
    }
    // Checked before anything is read through the caller's pointer.
    MoxPage& frame = data[frameIndex(*page)];
    MOX_TRACE_NUMBER(1, "Segment", static_cast<Uint32>(frame.segmentId));
    MOX_TRACE_NUMBER(1, "Page", static_cast<Uint32>(frame.pageId));
    MoxPage::PageHeader pageHeader = headerOf(frame);
    if (pageHeader.pageId != frame.pageId) {
        MOX_SET_ERROR_TOKEN3(MOX_BM_PAGEID_MISMATCH, static_cast<Uint32>(frame.pageId),
                             static_cast<Uint32>(frame.segmentId), static_cast<Uint32>(pageHeader.pageId));
    }
    MoxScopedExclusiveLatch poolLatch(*latch);
    if (frame.fixCount == 0) {
        THROW(MOX_INTERNAL_FAIL);
    }
    --frame.fixCount;
    page = nullptr;
    // Reported only once the fix is undone: a frame whose header its user
    // damaged must not stay fixed for good, never to be written or reused,
    // and keeping the system from a stop.
    if (pageHeader.pageType != frame.pageType) {
        THROW_wARGS4(MOX_BM_PAGETYPE_MISMATCH, frame.pageId, frame.segmentId, pageHeader.pageType, frame.pageType);
    }
}

void MoxBufferManager::markPageAsModified(MoxPage& page) {
    MOX_TRACE_ENTRY();
    MoxScopedExclusiveLatch poolLatch(*latch);
    data[frameIndex(page)].dirty = true;
}

void MoxBufferManager::writeFrame(Uint16 pageIndex) {
    MOX_TRACE_ENTRY();
    MoxPage* page = &data[pageIndex];
    // The page may belong to another process's segment: this process needs
    // its own handle on the file, or the write would fail.
    THROW_RC(fileMgr->open(page->getSegmentId()));
    openSegments.insert(page->getSegmentId());
    MoxErrorCode rc = fileMgr->write(page->getSegmentId(), page->getPageId(), page->getPageData());
    const char* callText = "fileMgr->write(page->getSegmentId(), page->getPageId(), page->getPageData())";
    if (rc == MOX_FM_FILE_INVALID_SIZE) {
        // Which file is damaged, and how: the code alone would not say.
        Uint64 size = 0;
        fileMgr->getSize(page->getSegmentId(), size);
        MoxException::raise(rc, callText, __FILE__, __LINE__, __FUNCTION__, std::to_string(page->getSegmentId()),
                            std::to_string(size), std::to_string(MOX_PAGE_SIZE));
    }
    MOX_BM_RAISE(rc, callText);
    page->dirty = false;
}

void MoxBufferManager::flushSinglePage(Uint16 pageIndex, const MoxScopedExclusiveLatch&) {
    MOX_TRACE_ENTRY();
    MOX_TRACE_NUMBER(10, "Dirty Page Index", static_cast<Uint32>(pageIndex));
    profiler.setElementName(GetFlushSinglePageTime, GetFlushSinglePageTimeName, Timer());
    ScopedTimer timed(profiler, GetFlushSinglePageTime);
    if (pageIndex >= MOX_BM_NUM_PAGES) {
        THROW(MOX_PARAMETER_FAIL);
    }
    const MoxPage& frame = data[pageIndex];
    if (frame.segmentId == 0 || !frame.dirty || frame.isFix()) {
        THROW(MOX_INTERNAL_FAIL);
    }
    writeFrame(pageIndex);
}

void MoxBufferManager::flushAll() {
    MOX_TRACE_ENTRY();
    profiler.setElementName(GetFlushAllTime, GetFlushAllTimeName, Timer());
    ScopedTimer timed(profiler, GetFlushAllTime);
    MoxScopedExclusiveLatch poolLatch(*latch);
    adoptCallingProcess();
    // One page that cannot be written (a full disk, a missing file) must not
    // keep the pages of every other segment from their files. Pages of a
    // segment whose drop is pending are written too: until commit the drop
    // may still be undone.
    MoxFirstFailure failure;
    for (Uint16 index = 0; index < MOX_BM_NUM_PAGES; ++index) {
        const MoxPage& frame = data[index];
        if (frame.segmentId != 0 && frame.dirty && !frame.isFix()) {
            MOX_TRACE_NUMBER(10, "Dirty Page Index", static_cast<Uint32>(index));
            failure.attempt([this, index] { writeFrame(index); });
        }
    }
    for (auto iter = openSegments.begin(); iter != openSegments.end(); ++iter) {
        failure.attempt([this, iter] { THROW_RC(fileMgr->close(*iter)); });
    }
    openSegments.clear();
    failure.rethrow();
}

void MoxBufferManager::wipeSegment(SegmentId segment, const MoxScopedExclusiveLatch&) {
    MOX_TRACE_ENTRY();
    MOX_TRACE_NUMBER(1, "Segment", static_cast<Uint32>(segment));
    for (Uint16 index = 0; index < MOX_BM_NUM_PAGES; ++index) {
        MoxPage& frame = data[index];
        if (frame.segmentId == segment) {
            hash->remove(index);
            lru->removeEntry(index);
            frame.segmentId = 0;
            frame.dirty = false;
            frame.fixCount = 0;
        }
    }
}

void MoxBufferManager::finishDrops(const MoxScopedExclusiveLatch& poolLatch) {
    MOX_TRACE_ENTRY();
    // Each drop leaves the set once done, so that a failure can be retried.
    while (!dropPending.empty()) {
        SegmentId segment = *dropPending.begin();
        wipeSegment(segment, poolLatch);
        THROW_RC(fileMgr->close(segment));
        openSegments.erase(segment);
        THROW_RC(fileMgr->drop(segment));
        dropPending.erase(segment);
    }
}

void MoxBufferManager::createSegment(SegmentId segment) {
    MOX_TRACE_ENTRY();
    adoptCallingProcess();
    MOX_TRACE_NUMBER(1, "Segment", static_cast<Uint32>(segment));
    THROW_RC(fileMgr->create(segment));
    newSegments.insert(segment);
}

void MoxBufferManager::openSegment(SegmentId segment) {
    MOX_TRACE_ENTRY();
    MOX_TRACE_NUMBER(1, "Segment", static_cast<Uint32>(segment));
    THROW_RC(fileMgr->open(segment));
    openSegments.insert(segment);
}

void MoxBufferManager::dropSegment(SegmentId segment) {
    MOX_TRACE_ENTRY();
    adoptCallingProcess();
    MOX_TRACE_NUMBER(1, "Segment", static_cast<Uint32>(segment));
    if (segment == 0) {
        THROW(MOX_PARAMETER_FAIL);
    }
    if (newSegments.count(segment) == 0) {
        // The pages stay until commit: a rollback keeps the segment whole.
        dropPending.insert(segment);
        return;
    }
    MoxScopedExclusiveLatch poolLatch(*latch);
    THROW_RC(fileMgr->close(segment));
    openSegments.erase(segment);
    THROW_RC(fileMgr->drop(segment));
    newSegments.erase(segment);
    wipeSegment(segment, poolLatch);
}

void MoxBufferManager::commit() {
    MOX_TRACE_ENTRY();
    MoxScopedExclusiveLatch poolLatch(*latch);
    adoptCallingProcess();
    newSegments.clear();
    finishDrops(poolLatch);
}

void MoxBufferManager::rollback() {
    MOX_TRACE_ENTRY();
    MoxScopedExclusiveLatch poolLatch(*latch);
    adoptCallingProcess();
    // A segment created in the transaction goes with its frames, so that no
    // frame of a file that no longer exists waits to be written. Its content
    // is worthless: failures of close and drop are ignored.
    for (SegmentId segment : newSegments) {
        fileMgr->close(segment);
        openSegments.erase(segment);
        wipeSegment(segment, poolLatch);
        fileMgr->drop(segment);
    }
    newSegments.clear();
    dropPending.clear();
}

float MoxBufferManager::getBufferHitRatio() const {
    MOX_TRACE_ENTRY();
    return hitRatio(logicalReads, physicalReads);
}

float MoxBufferManager::getBufferHitRatioAllTransactions() const {
    MOX_TRACE_ENTRY();
    return hitRatio(header->logicalReads, header->physicalReads);
}

SegmentId MoxBufferManager::convertTableIdToSegmentId(TableId tableId) {
    MOX_TRACE_ENTRY();
    if (static_cast<Sint16>(tableId) <= 0) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return 0;
    }
    return tableId;
}

SegmentId MoxBufferManager::convertIndexIdToSegmentId(IndexId indexId) {
    MOX_TRACE_ENTRY();
    if (indexId < MOX_MIN_INDEX_ID || indexId > MOX_MAX_INDEX_ID) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return 0;
    }
    return static_cast<SegmentId>(2 * indexId + MOX_MAX_TABLE_ID);
}

void MoxBufferManager::dump(bool lruSection, bool hashSection, bool pagesSection, bool hitRatioSection) const {
    MOX_TRACE_ENTRY();
    if (latch == nullptr || hash == nullptr || lru == nullptr || data == nullptr) {
        THROW(MOX_INTERNAL_FAIL);
    }
    MoxScopedLatch poolLatch(*latch, MoxLatch::Shared);
    if (lruSection) {
        MoxDumpTable::rule('=');
        lru->dump();
    }
    if (hashSection) {
        MoxDumpTable::rule('=');
        hash->dump();
    }
    if (pagesSection) {
        MoxDumpTable::rule('=');
        dumpPages();
    }
    if (hitRatioSection) {
        MoxDumpTable::rule('=');
        dumpHitRatio();
    }
    MoxDumpTable::rule('=');
    std::cout.flush();
}

void MoxBufferManager::dumpPages() const {
    MOX_TRACE_ENTRY();
    std::cout << " Pages currently in buffer pool\n";
    MoxDumpTable::rule('-');
    MoxDumpTable table("Slot-of-Page SegmentId    PageId       FixCount     LSN          Dirty",
                       "------------ ------------ ------------ ------------ ------------ -----");
    const int width = MoxDumpTable::COLUMN_WIDTH;
    for (Uint16 index = 0; index < MOX_BM_NUM_PAGES; ++index) {
        const MoxPage& frame = data[index];
        if (frame.segmentId == 0) {
            continue;
        }
        table.row() << std::setw(width) << index << ' ' << std::setw(width) << frame.segmentId << ' '
                    << std::setw(width) << frame.pageId << ' ' << std::setw(width) << frame.fixCount << ' '
                    << std::setw(width) << frame.lsn.dump() << ' ' << std::setw(5) << (frame.dirty ? "true" : "false")
                    << '\n';
    }
    MoxDumpTable::closing(" All other slots between [0, ", MOX_BM_NUM_PAGES - 1, "] are empty.");
}

void MoxBufferManager::dumpHitRatio() const {
    MOX_TRACE_ENTRY();
    std::cout << "Buffer Hit ratio for current transaction is " << getBufferHitRatio() << '\n'
              << "Logical reads this transaction: " << logicalReads << '\n'
              << "Physical reads this transaction: " << physicalReads << '\n'
              << "Buffer Hit ratio for all transactions is " << getBufferHitRatioAllTransactions() << '\n'
              << "Logical reads all transactions: " << header->logicalReads << '\n'
              << "Physical reads all transactions: " << header->physicalReads << '\n';
}

void MoxBufferManager::staticDumpLru() {
    MOX_TRACE_ENTRY();
    getInstance()->dump(true, false, false, false);
}

void MoxBufferManager::staticDumpHashMap() {
    MOX_TRACE_ENTRY();
    getInstance()->dump(false, true, false, false);
}

void MoxBufferManager::staticDumpPages() {
    MOX_TRACE_ENTRY();
    getInstance()->dump(false, false, true, false);
}

void MoxBufferManager::staticDumpHitRatio() {
    MOX_TRACE_ENTRY();
    getInstance()->dump(false, false, false, true);
}

void MoxBufferManager::debugBufferStats_static(const char* args) {
    MOX_TRACE_ENTRY();
    std::string text = args != nullptr ? args : "";
    std::vector<std::string> words;
    boost::split(words, text, boost::is_any_of(" "));
    const std::string& first = words.front();
    if (first == "pages") {
        staticDumpPages();
    } else if (first == "lru") {
        staticDumpLru();
    } else if (first == "hashmap") {
        staticDumpHashMap();
    } else {
        staticDumpHitRatio();
    }
}

void MoxBufferManager::debugRstBufferStats_static(const char*) {
    MOX_TRACE_ENTRY();
    MoxBufferManager* manager = getInstance();
    manager->logicalReads = 0;
    manager->physicalReads = 0;
}
