// Replacing and removing records. A record that no longer fits its page
// moves to another one as a secondary record and its slot forwards to it;
// later replacements keep it on that page, move it onward (the one
// forwarding slot is rewritten) or bring it home again. Every change logs one entry before it touches a
// page, and every page it changes is marked with that entry's LSN.

#include "MoxRecordManager.h"
#include "MoxSlottedPage.h"
#include "../buffer/MoxBufferManager.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = RecordManager;

namespace {

typedef MoxLockManager LM;

MoxSlottedPage viewOf(MoxScopedPage& page) {
    return MoxSlottedPage::of(*page.getPage());
}

MoxRecord recordAt(const MoxSlottedPage& view, SlotId slot) {
    return MoxRecord(view.recordBytes(slot), view.slot(slot).recordLength);
}

}  // namespace

std::unique_ptr<MoxScopedPage> MoxRecordManager::lockRecord(SegmentId segment, const TupleId& tid) {
    MOX_TRACE_ENTRY();
    if (isFsiPage(tid.page)) {
        THROW(MOX_RM_REC_NOT_FOUND);
    }
    // Locked before the slot is read: what it holds may be another
    // transaction's change until then.
    lockMgr->requestSlot(segment, tid.page, tid.slot, LM::ExclusiveLock);
    auto page = std::make_unique<MoxScopedPage>(segment, tid.page, MoxPage::DataPage, MoxScopedPage::GetExistingPage);
    MoxSlottedPage view = viewOf(*page);
    if (tid.slot >= view.numberOfSlots() || MoxSlottedPage::isFree(view.slot(tid.slot))) {
        THROW(MOX_RM_REC_NOT_FOUND);
    }
    return page;
}

void MoxRecordManager::replace(TableId table, const TupleId& tupleId, const MoxRecord& record) {
    MOX_TRACE_ENTRY();
    TupleId unused;
    replace(table, tupleId, record, unused);
}

void MoxRecordManager::replace(TableId table, const TupleId& tupleId, const MoxRecord& record, TupleId& newTid) {
    MOX_TRACE_ENTRY();
    checkRecordLength(record);
    std::unique_ptr<MoxScopedPage> primary = lockRecord(openTable(table), tupleId);
    switch (viewOf(*primary).slot(tupleId.slot).recordType) {
        case PrimaryRecord:
            replacePrimary(table, tupleId, record, *primary, newTid);
            return;
        case PlaceHolderTid:
            replaceMoved(table, tupleId, record, *primary, newTid);
            return;
        default:
            THROW(MOX_INTERNAL_FAIL);
    }
}

void MoxRecordManager::replacePrimary(TableId table, const TupleId& tupleId, const MoxRecord& record,
                                      MoxScopedPage& primary, TupleId& newTid) {
    MOX_TRACE_ENTRY();
    const SegmentId segment = primary->getSegmentId();
    MoxSlottedPage view = viewOf(primary);
    const Slot old = view.slot(tupleId.slot);
    const MoxRecord before = recordAt(view, tupleId.slot);
    const Uint16 length = record.getLength();
    Uint16 offset = old.offset;
    bool compact = false;
    if (length != old.recordLength) {
        // The room around the record is this transaction's once the page is:
        // a growth needs it, and bytes a shrink frees must stay free for its
        // undo, which could otherwise only compact the page under the
        // others' row locks.
        lockPageExclusively(segment, tupleId.page);
    }
    if (length > old.recordLength) {
        Uint16 blockOffset = 0;
        Uint16 blockSize = 0;
        Uint16 freeSpace = 0;
        findLargestFreeSpaceInPage(primary.getPage(), blockOffset, blockSize);
        findFreeSpaceInPage(primary.getPage(), freeSpace);
        const Uint16 growth = static_cast<Uint16>(length - old.recordLength);
        if (old.offset + old.recordLength == blockOffset && blockSize >= growth) {
            offset = old.offset;
        } else if (blockOffset + blockSize == old.offset && blockSize >= growth) {
            offset = blockOffset;
        } else if (blockSize >= length) {
            offset = static_cast<Uint16>(blockOffset + blockSize - length);
        } else if (freeSpace + old.recordLength >= length) {
            compact = true;
        } else {
            moveOut(table, tupleId, before, record, primary, nullptr, nullptr, newTid);
            return;
        }
    }
    const MoxLsn lsn = logChange(segment, &before, &record, MoxAbstractLogEntry::UPDATE, &tupleId, nullptr, nullptr);
    rewriteRecord(primary.getPage(), tupleId.slot, record, PrimaryRecord, offset, compact, lsn);
    newTid = tupleId;
}

void MoxRecordManager::replaceMoved(TableId table, const TupleId& tupleId, const MoxRecord& record,
                                    MoxScopedPage& primary, TupleId& newTid) {
    MOX_TRACE_ENTRY();
    const SegmentId segment = primary->getSegmentId();
    MoxSlottedPage view = viewOf(primary);
    const TupleId oldPlace = forwardingTarget(view.slot(tupleId.slot));
    lockPageExclusively(segment, oldPlace.page);
    lockMgr->requestSlot(segment, oldPlace.page, oldPlace.slot, LM::ExclusiveLock);
    MoxScopedPage secondary(segment, oldPlace.page, MoxPage::DataPage, MoxScopedPage::GetExistingPage);
    checkMovedRecord(secondary.getPage(), oldPlace.slot);
    MoxSlottedPage secondaryView = viewOf(secondary);
    const Slot old = secondaryView.slot(oldPlace.slot);
    const MoxRecord before = recordAt(secondaryView, oldPlace.slot);
    const Uint16 length = record.getLength();

    // Home again when the primary page has the room; its lock comes first,
    // and the room is counted again under it.
    Uint16 primaryFree = 0;
    findFreeSpaceInPage(primary.getPage(), primaryFree);
    if (primaryFree >= length) {
        lockPageExclusively(segment, tupleId.page);
        findFreeSpaceInPage(primary.getPage(), primaryFree);
    }
    if (primaryFree >= length) {
        Uint16 blockOffset = 0;
        Uint16 blockSize = 0;
        findLargestFreeSpaceInPage(primary.getPage(), blockOffset, blockSize);
        const bool compact = blockSize < length;
        Uint16 offset = 0;
        if (!compact) {
            calcOffset(primary.getPage(), length, offset);
        }
        const MoxLsn lsn =
            logChange(segment, &before, &record, MoxAbstractLogEntry::UPDATE, &tupleId, &oldPlace, nullptr);
        secondaryView.releaseBytes(oldPlace.slot);
        if (compact) {
            Slot& forwarding = view.slot(tupleId.slot);
            forwarding.offset = 0;
            forwarding.recordLength = 0;
            offset = compactFor(primary.getPage(), length);
        }
        secondaryView.freeSlot(oldPlace.slot);
        insertRecordOnPage(primary.getPage(), tupleId.slot, record, PrimaryRecord, offset);
        updateFreeSpace(primary.getPage(), false);
        updateFreeSpace(secondary.getPage(), false);
        newTid = tupleId;
        THROW_RC(primary->markAsModified(lsn));
        THROW_RC(secondary->markAsModified(lsn));
        return;
    }

    // On its secondary page, in place or placed anew there, or onward.
    Uint16 offset = old.offset;
    bool compact = false;
    if (length > old.recordLength) {
        Uint16 secondaryFree = 0;
        findFreeSpaceInPage(secondary.getPage(), secondaryFree);
        if (secondaryFree + old.recordLength < length) {
            moveOut(table, tupleId, before, record, primary, &secondary, &oldPlace, newTid);
            return;
        }
        Uint16 blockOffset = 0;
        Uint16 blockSize = 0;
        findLargestFreeSpaceInPage(secondary.getPage(), blockOffset, blockSize);
        compact = blockSize < length;
        if (!compact) {
            calcOffset(secondary.getPage(), length, offset);
        }
    }
    const MoxLsn lsn =
        logChange(segment, &before, &record, MoxAbstractLogEntry::UPDATE, &tupleId, &oldPlace, &oldPlace);
    rewriteRecord(secondary.getPage(), oldPlace.slot, record, SecondaryRecord, offset, compact, lsn);
    newTid = oldPlace;
}

void MoxRecordManager::rewriteRecord(MoxPage* page, SlotId slot, const MoxRecord& record, RecordType type,
                                     Uint16 offset, bool compact, const MoxLsn& lsn) {
    MOX_TRACE_ENTRY();
    MoxSlottedPage view = MoxSlottedPage::of(*page);
    view.releaseBytes(slot);
    if (compact) {
        offset = compactFor(page, record.getLength());
    }
    view.writeRecord(slot, record.getRecordData(), record.getLength(), type, offset);
    updateFreeSpace(page, false);
    THROW_RC(page->markAsModified(lsn));
}

void MoxRecordManager::moveOut(TableId table, const TupleId& tupleId, const MoxRecord& before, const MoxRecord& record,
                               MoxScopedPage& primary, MoxScopedPage* oldSecondary, const TupleId* oldPlace,
                               TupleId& newTid) {
    MOX_TRACE_ENTRY();
    const SegmentId segment = primary->getSegmentId();
    std::unique_ptr<MoxScopedPage> target;
    Uint16 offset = 0;
    TupleId newPlace;
    getFittingPage(table, record.getLength(), target, offset, newPlace.slot);
    newPlace.page = target->getPage()->getPageId();
    lockMgr->requestSlot(segment, newPlace.page, newPlace.slot, LM::ExclusiveLock);
    const MoxLsn lsn = logChange(segment, &before, &record, MoxAbstractLogEntry::UPDATE, &tupleId, oldPlace, &newPlace);
    MoxSlottedPage view = viewOf(primary);
    if (oldSecondary == nullptr) {
        view.releaseBytes(tupleId.slot);
        insertRecordOnPage(target->getPage(), newPlace.slot, record, SecondaryRecord, offset);
        view.setForwarding(tupleId.slot, newPlace);
    } else {
        MoxSlottedPage oldView = viewOf(*oldSecondary);
        oldView.releaseBytes(oldPlace->slot);
        view.setForwarding(tupleId.slot, newPlace);
        oldView.freeSlot(oldPlace->slot);
        insertRecordOnPage(target->getPage(), newPlace.slot, record, SecondaryRecord, offset);
    }
    if (oldSecondary == nullptr) {
        updateFreeSpace(primary.getPage(), false);
    } else {
        updateFreeSpace(oldSecondary->getPage(), false);
    }
    updateFreeSpace(target->getPage(), false);
    newTid = newPlace;
    THROW_RC(primary->markAsModified(lsn));
    if (oldSecondary != nullptr) {
        THROW_RC((*oldSecondary)->markAsModified(lsn));
    }
    THROW_RC(target->getPage()->markAsModified(lsn));
}

Uint16 MoxRecordManager::compactFor(MoxPage* page, Uint16 length) {
    MOX_TRACE_ENTRY();
    Uint16 freeSpace = 0;
    Uint16 freeSpaceOffset = 0;
    reorganizePage(page, freeSpace, freeSpaceOffset);
    if (freeSpace < length) {
        THROW(MOX_RM_INSERT_RECORD_TOO_LONG);
    }
    Uint16 offset = 0;
    calcOffset(page, length, offset);
    return offset;
}

void MoxRecordManager::remove(const TableId& table, const TupleId& tid) {
    MOX_TRACE_ENTRY();
    remove(segmentOf(table), tid, false);
}

void MoxRecordManager::remove(const SegmentId& segment, const TupleId& tid, bool compensate) {
    MOX_TRACE_ENTRY();
    bufferMgr->openSegment(segment);
    std::unique_ptr<MoxScopedPage> fixed = lockRecord(segment, tid);
    // The freed room stays this transaction's until it ends: its undo puts
    // the record back without compacting a page that others hold rows of,
    // and a compaction it needs waits for no one (two undos waiting for each
    // other could only time out).
    lockPageExclusively(segment, tid.page);
    MoxScopedPage& primary = *fixed;
    MoxSlottedPage view = viewOf(primary);
    const MoxAbstractLogEntry::transType type =
        compensate ? MoxAbstractLogEntry::COMPENSATE_DELETE : MoxAbstractLogEntry::DELETE;
    const Slot entry = view.slot(tid.slot);
    if (entry.recordType == PrimaryRecord) {
        const MoxRecord before = recordAt(view, tid.slot);
        const MoxLsn lsn = logChange(segment, &before, nullptr, type, &tid, nullptr, nullptr);
        view.freeSlot(tid.slot);
        updateFreeSpace(primary.getPage(), true);
        THROW_RC(primary->markAsModified(lsn));
        return;
    }
    if (entry.recordType != PlaceHolderTid) {
        THROW(MOX_INTERNAL_FAIL);
    }
    const TupleId target = forwardingTarget(entry);
    lockPageExclusively(segment, target.page);
    lockMgr->requestSlot(segment, target.page, target.slot, LM::ExclusiveLock);
    MoxScopedPage secondary(segment, target.page, MoxPage::DataPage, MoxScopedPage::GetExistingPage);
    checkMovedRecord(secondary.getPage(), target.slot);
    MoxSlottedPage secondaryView = viewOf(secondary);
    const MoxRecord before = recordAt(secondaryView, target.slot);
    const MoxLsn lsn = logChange(segment, &before, nullptr, type, &tid, &target, nullptr);
    secondaryView.freeSlot(target.slot);
    view.freeSlot(tid.slot);
    updateFreeSpace(primary.getPage(), true);
    updateFreeSpace(secondary.getPage(), true);
    THROW_RC(secondary->markAsModified(lsn));
    THROW_RC(primary->markAsModified(lsn));
}
