// Crash recovery of the records. The pool writes pages whenever it likes
// (steal) and a crash loses whatever it held, so each page on disk may
// stand at any point of its history, or be missing, or be zeros where the
// file grew over it for a later page. Each page says how far it got by its
// LSN; redo brings it to the end of the log entry by entry, from the
// first entry that some page lost; the inventory, which is not logged, is
// then rebuilt from the data pages; last, the transactions without an end
// are undone and ended.

#include <algorithm>
#include <iostream>
#include <vector>

#include "MoxRecordManager.h"
#include "MoxSlotStates.h"
#include "MoxSlottedPage.h"
#include "../buffer/MoxBufferManager.h"
#include "../file/MoxFileManager.h"
#include "../log/MoxRecovery.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = RecordManager;

namespace {

typedef MoxLockManager LM;

// Whether the segment file holds the page: not when it ends before it, nor
// where it holds zeros in its place. Read past the pool, which would keep
// such a page as one of the wrong number and type.
bool isInFile(SegmentId segment, PageId pageId) {
    unsigned char bytes[MOX_PAGE_SIZE];
    if (MoxFileManager::getInstance()->read(segment, pageId, bytes) != MOX_SUCCESS) {
        return false;
    }
    return !std::all_of(bytes, bytes + MOX_PAGE_SIZE, [](unsigned char byte) { return byte == 0; });
}

// The last page number the segment file holds; -1 for an empty file.
Sint32 lastPageInFile(SegmentId segment) {
    Uint64 bytes = 0;
    THROW_RC(MoxFileManager::getInstance()->getSize(segment, bytes));
    return static_cast<Sint32>(bytes / MOX_PAGE_SIZE) - 1;
}

}  // namespace

std::unique_ptr<MoxScopedPage> MoxRecordManager::fixOrCreatePage(SegmentId segment, PageId pageId,
                                                                 MoxPage::PageType type, PageSet& known) {
    MOX_TRACE_ENTRY();
    if (known.count({segment, pageId}) != 0 || isInFile(segment, pageId)) {
        known.insert({segment, pageId});
        return std::make_unique<MoxScopedPage>(segment, pageId, type, MoxScopedPage::GetExistingPage);
    }
    // Made anew over the zeros or behind the file's end; it reaches the file
    // with the next write of its frame. Only a page the pool already holds
    // (a recovery without a crash) is left as it is.
    MoxPage* page = nullptr;
    try {
        bufferMgr->getNewPage(segment, pageId, type, MoxLsn::dummyLSN(), page);
    } catch (const MoxException& exception) {
        if (exception.getErrorCode() != MOX_BM_PAGE_ALREADY_EXISTS_IN_BUFFER) {
            throw;
        }
        return std::make_unique<MoxScopedPage>(segment, pageId, type, MoxScopedPage::GetExistingPage);
    }
    known.insert({segment, pageId});
    return holdCreatedPage(segment, pageId, type, page);
}

void MoxRecordManager::recover() {
    MOX_TRACE_ENTRY();
    MoxRecovery recovery;
    recovery.AnalyseLog(MoxRecovery::RECORD);
    recover(recovery);
}

void MoxRecordManager::recover(MoxRecovery& recovery) {
    MOX_TRACE_ENTRY();
    if (!recovery.makeUndoLists(MoxRecovery::RECORD)) {
        THROW(MOX_INTERNAL_FAIL);
    }
    MoxRecordLogEntry* entries = recovery.getRecordRedoList();
    const int count = recovery.getRecordRedoListLength();
    // The tables in the log whose segment still exists, each with the
    // highest page number the log names in it.
    std::map<SegmentId, PageId> tables;
    for (int i = 0; i < count; ++i) {
        const SegmentId segment = entries[i].getSegmentID();
        if (segment == 0 || entries[i].getPrimTupelID() == nullptr) {
            continue;
        }
        if (tables.count(segment) == 0) {
            try {
                bufferMgr->openSegment(segment);
            } catch (const MoxException& exception) {
                if (exception.getErrorCode() != MOX_FM_FILE_NOT_FOUND) {
                    throw;
                }
                continue;
            }
            lockMgr->requestSegment(segment, LM::ExclusiveLock);
            tables[segment] = 0;
        }
        for (const TupleId* tid : {entries[i].getPrimTupelID(), entries[i].getOldSecTID(), entries[i].getNewSecTID()}) {
            if (tid != nullptr) tables[segment] = std::max(tables[segment], tid->page);
        }
    }
    PageSet known;
    for (int i = redoStart(entries, count, tables, known); i < count; ++i) {
        redo(entries[i], tables, known);
    }
    // The undo changes the inventory as every change does, so it needs it sound.
    for (const auto& [segment, lastNamed] : tables) {
        rebuildInventory(segment, static_cast<PageId>(std::max<Sint32>(lastNamed, lastPageInFile(segment))), known);
    }
    MoxRecordLogEntry** undo = recovery.getRecordUndoList();
    const int undoLength = recovery.getRecordUndoListLength();
    MoxRecovery::undoRecordEntries(undo, undoLength, *this);
    // Ended, they are not undone again by a later recovery, when their
    // slots may hold records of later transactions.
    std::vector<MoxTransactionId> undone;
    for (int i = 0; i < undoLength; ++i) {
        if (std::find(undone.begin(), undone.end(), undo[i]->getTransactionID()) == undone.end()) {
            undone.push_back(undo[i]->getTransactionID());
        }
    }
    for (const MoxTransactionId& transaction : undone) {
        logEnd(transaction, MoxAbstractLogEntry::ROLLBACK);
    }
}

int MoxRecordManager::redoStart(MoxRecordLogEntry* entries, int count, const std::map<SegmentId, PageId>& tables,
                                PageSet& known) {
    MOX_TRACE_ENTRY();
    for (int i = 0; i < count; ++i) {
        const MoxRecordLogEntry& entry = entries[i];
        if (entry.getPrimTupelID() == nullptr || tables.count(entry.getSegmentID()) == 0) {
            continue;
        }
        const MoxLsn lsn = entry.getLsn();
        // Every page the entry changed, not only the primary one: a record
        // moved out lives on a page that the primary page's LSN says nothing of.
        const MoxSlotStates states(entry);
        for (PageId pageId : states.changedPages()) {
            if (fixOrCreatePage(entry.getSegmentID(), pageId, MoxPage::DataPage, known)->getPage()->getLsn() < lsn) {
                if (!(lsn == MoxLsn::dummyLSN())) {
                    std::cout << "Calculated starting point for REDO is at LogEntry with LSN " << lsn << std::endl;
                }
                return i;
            }
        }
    }
    return count;
}

void MoxRecordManager::redo(const MoxRecordLogEntry& entry, const std::map<SegmentId, PageId>& tables, PageSet& known) {
    MOX_TRACE_ENTRY();
    if (entry.getPrimTupelID() == nullptr || tables.count(entry.getSegmentID()) == 0) {
        return;
    }
    const MoxLsn lsn = entry.getLsn();
    const MoxSlotStates states(entry);
    // Page by page: a page that was written after the change has it, and
    // one written before has every earlier change, which the redo of the
    // earlier entries has brought back. A page whose records are already as
    // the entry says is left alone.
    for (PageId pageId : states.changedPages()) {
        std::unique_ptr<MoxScopedPage> page = fixOrCreatePage(entry.getSegmentID(), pageId, MoxPage::DataPage, known);
        if (!(page->getPage()->getLsn() < lsn)) {
            continue;
        }
        MoxSlottedPage view = MoxSlottedPage::of(*page->getPage());
        bool compacted = false;
        if (states.applyTo(view, compacted)) {
            THROW_RC(page->getPage()->markAsModified(lsn));
        }
    }
}
