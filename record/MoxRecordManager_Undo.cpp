// Undoing record changes: the operations that put a removed record back,
// turn a replaced record back and remove an inserted one, each writing a
// compensation entry that says what it leaves in the slots, and the
// rollback of the current transaction built on them.

#include <vector>

#include "MoxRecordManager.h"
#include "MoxSlotStates.h"
#include "MoxSlottedPage.h"
#include "../buffer/MoxBufferManager.h"
#include "../log/MoxLogManager.h"
#include "../log/MoxRecordLogEntry.h"
#include "../log/MoxRecovery.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"
#include "../transaction/MoxTransactionManager.h"

static const MoxComponent componentId = RecordManager;

namespace {

typedef MoxLockManager LM;

const char* imageOf(const MoxRecord& record) {
    return reinterpret_cast<const char*>(record.getRecordData());
}

MoxRecord beforeImageOf(const MoxRecordLogEntry& entry) {
    return MoxRecord(reinterpret_cast<const unsigned char*>(entry.getBeforeImage()),
                     static_cast<Uint16>(entry.getBefImgLength()));
}

MoxRecord afterImageOf(const MoxRecordLogEntry& entry) {
    return MoxRecord(reinterpret_cast<const unsigned char*>(entry.getAfterImage()),
                     static_cast<Uint16>(entry.getAftImgLength()));
}

}  // namespace

MoxTransactionId MoxRecordManager::loggedTransaction() const {
    return undoneTransaction ? *undoneTransaction : transMgr->getCurrentTransactionID();
}

void MoxRecordManager::logEnd(const MoxTransactionId& transaction, MoxAbstractLogEntry::transType type) {
    MOX_TRACE_ENTRY();
    MoxRecordLogEntry entry(transaction, 0, nullptr, 0, nullptr, 0, type, nullptr, nullptr, nullptr);
    logMgr->createLogEntry(&entry);
}

void MoxRecordManager::redoRemove(const SegmentId& segment, const TupleId& tid) {
    MOX_TRACE_ENTRY();
    remove(segment, tid, true);
}

void MoxRecordManager::redoInsert(const SegmentId& segment, const TupleId* primaryTid, const TupleId* secTid,
                                  const MoxRecord& record) {
    MOX_TRACE_ENTRY();
    if (primaryTid == nullptr) {
        THROW(MOX_PARAMETER_FAIL);
    }
    checkRecordLength(record);
    MoxRecordLogEntry compensation(loggedTransaction(), segment, nullptr, 0, imageOf(record), record.getLength(),
                                   MoxAbstractLogEntry::COMPENSATE_INSERT, primaryTid, nullptr, secTid);
    restore(segment, compensation);
}

void MoxRecordManager::redoReplace(const SegmentId& segment, const TupleId* primaryTid, const TupleId* oldSecTid,
                                   const TupleId* newSecTid, const MoxRecord& oldRecord, const MoxRecord& newRecord) {
    MOX_TRACE_ENTRY();
    if (primaryTid == nullptr) {
        THROW(MOX_PARAMETER_FAIL);
    }
    checkRecordLength(newRecord);
    checkRecordLength(oldRecord);
    // The mirror of the update it reverses.
    MoxRecordLogEntry compensation(loggedTransaction(), segment, imageOf(newRecord), newRecord.getLength(),
                                   imageOf(oldRecord), oldRecord.getLength(), MoxAbstractLogEntry::COMPENSATE_UPDATE,
                                   primaryTid, newSecTid, oldSecTid);
    restore(segment, compensation);
}

std::unique_ptr<MoxScopedPage> MoxRecordManager::fixOrAppendDataPage(SegmentId segment, PageId pageId) {
    MOX_TRACE_ENTRY();
    try {
        return std::make_unique<MoxScopedPage>(segment, pageId, MoxPage::DataPage, MoxScopedPage::GetExistingPage);
    } catch (const MoxException& exception) {
        if (exception.getErrorCode() != MOX_BM_PAGE_NOT_FOUND) {
            throw;
        }
    }
    std::unique_ptr<MoxScopedPage> page = createPageFixed(segment, pageId, MoxPage::DataPage);
    FsiEntry empty;
    markEmptyPage(empty);
    addFsiEntry_seg(segment, pageId, empty);
    return page;
}

void MoxRecordManager::restore(SegmentId segment, MoxRecordLogEntry& compensation) {
    MOX_TRACE_ENTRY();
    bufferMgr->openSegment(segment);
    const MoxSlotStates target(compensation);
    for (const MoxSlotStates::State& state : target.states()) {
        lockMgr->requestSlot(segment, state.slot.page, state.slot.slot, LM::ExclusiveLock);
    }
    std::vector<PageId> pageIds = target.namedPages();
    std::vector<std::unique_ptr<MoxScopedPage>> pages;
    for (PageId pageId : pageIds) {
        if (isFsiPage(pageId)) {
            THROW(MOX_INTERNAL_FAIL);
        }
        pages.push_back(fixOrAppendDataPage(segment, pageId));
    }
    // Every page must take what it receives before anything is logged.
    for (size_t i = 0; i < pages.size(); ++i) {
        bool compacts = false;
        if (!target.fits(MoxSlottedPage::of(*pages[i]->getPage()), compacts)) {
            THROW(MOX_INTERNAL_FAIL);
        }
        if (compacts) {
            lockPageExclusively(segment, pageIds[i]);
        }
    }
    const MoxLsn lsn = logMgr->createLogEntry(&compensation);
    for (PageId pageId : target.changedPages()) {
        MoxPage* page = nullptr;
        for (size_t i = 0; i < pageIds.size(); ++i) {
            if (pageIds[i] == pageId) page = pages[i]->getPage();
        }
        MoxSlottedPage view = MoxSlottedPage::of(*page);
        bool compacted = false;
        target.applyTo(view, compacted);
        updateFreeSpace(page, false);
        THROW_RC(page->markAsModified(lsn));
    }
}

void MoxRecordManager::undoOnBehalfOf(const MoxRecordLogEntry& entry, const std::function<void()>& undo) {
    MOX_TRACE_ENTRY();
    // The compensation belongs to the transaction whose change it undoes,
    // whoever runs it: that transaction's end then covers it, and a crash
    // before that end has it undone along with the change.
    undoneTransaction = entry.getTransactionID();
    try {
        undo();
    } catch (const MoxException& exception) {
        undoneTransaction.reset();
        if (exception.getErrorCode() == MOX_FM_FILE_NOT_FOUND) {
            return;
        }
        throw;
    }
    undoneTransaction.reset();
}

void MoxRecordManager::removeRecord(const MoxRecordLogEntry& entry) {
    MOX_TRACE_ENTRY();
    undoOnBehalfOf(entry, [&] {
        if (entry.getPrimTupelID() == nullptr) {
            THROW(MOX_PARAMETER_FAIL);
        }
        redoRemove(entry.getSegmentID(), *entry.getPrimTupelID());
    });
}

void MoxRecordManager::restoreRecord(const MoxRecordLogEntry& entry) {
    MOX_TRACE_ENTRY();
    undoOnBehalfOf(entry, [&] {
        redoReplace(entry.getSegmentID(), entry.getPrimTupelID(), entry.getOldSecTID(), entry.getNewSecTID(),
                    beforeImageOf(entry), afterImageOf(entry));
    });
}

void MoxRecordManager::reinsertRecord(const MoxRecordLogEntry& entry) {
    MOX_TRACE_ENTRY();
    undoOnBehalfOf(entry, [&] {
        redoInsert(entry.getSegmentID(), entry.getPrimTupelID(), entry.getOldSecTID(), beforeImageOf(entry));
    });
}

void MoxRecordManager::rollback() {
    MOX_TRACE_ENTRY();
    const MoxTransactionId transaction = transMgr->getCurrentTransactionID();
    MoxRecovery recovery;
    recovery.AnalyseTransaction(MoxRecovery::RECORD, transaction, logMgr->lastLsnOf(transaction));
    rollback(recovery);
}

void MoxRecordManager::rollback(MoxRecovery& recovery) {
    MOX_TRACE_ENTRY();
    const MoxTransactionId transaction = transMgr->getCurrentTransactionID();
    if (!recovery.makeRollbackLists(MoxRecovery::RECORD, transaction)) {
        THROW(MOX_INTERNAL_FAIL);
    }
    MoxRecovery::undoRecordEntries(recovery.getRecordRollbackList(), recovery.getRecordRollbackListLength(), *this);
    logEnd(transaction, MoxAbstractLogEntry::ROLLBACK);
}
