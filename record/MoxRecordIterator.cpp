#include "MoxRecordIterator.h"

#include "MoxRecordManager.h"
#include "../support/MoxError.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = RecordManager;

namespace {

// The codes with which a scan step reports the end of the table.
bool isEndOfTable(MoxErrorCode code) {
    return code == MOX_NOT_FOUND_WARN || code == MOX_RM_NO_MORE_PAGES || code == MOX_BM_PAGE_NOT_FOUND;
}

// Records a failure in the error object and returns its code.
MoxErrorCode recordFailure(const MoxException& exception) {
    exception.SET_ERROR();
    MOX_TRACE_ERROR();
    return exception.getErrorCode();
}

MoxErrorCode recordUnexpectedFailure() {
    MoxError::getErrorObject()->setError(componentId, MOX_INTERNAL_FAIL);
    MOX_TRACE_ERROR();
    return MOX_INTERNAL_FAIL;
}

}  // namespace

MoxRecordIterator::MoxRecordIterator(TableId table)
    : tableId(table),
      firstPage(0),
      firstSlot(0),
      currentPage(0),
      currentSlot(0),
      gotNextRecordTid(false),
      recordMgr(nullptr) {
    MOX_TRACE_ENTRY();
    try {
        recordMgr = MoxRecordManager::getInstance();
        TupleId first;
        if (findNext(first)) {
            firstPage = currentPage = first.page;
            firstSlot = currentSlot = first.slot;
            gotNextRecordTid = true;
        }
    } catch (const MoxException& exception) {
        recordFailure(exception);
    } catch (...) {
        recordUnexpectedFailure();
    }
}

bool MoxRecordIterator::findNext(TupleId& next) {
    MOX_TRACE_ENTRY();
    next.page = currentPage;
    next.slot = currentSlot;
    try {
        recordMgr->findNextRecord(tableId, next);
    } catch (const MoxException& exception) {
        if (isEndOfTable(exception.getErrorCode())) {
            return false;
        }
        throw;
    }
    return !(next.page == currentPage && next.slot == currentSlot);
}

bool MoxRecordIterator::hasNext() {
    MOX_TRACE_ENTRY();
    if (gotNextRecordTid) {
        return true;
    }
    try {
        TupleId next;
        return recordMgr != nullptr && findNext(next);
    } catch (...) {
        return false;
    }
}

MoxErrorCode MoxRecordIterator::getNext(MoxRecord*& record) {
    MOX_TRACE_ENTRY();
    try {
        if (recordMgr == nullptr) {
            THROW(MOX_INTERNAL_FAIL);
        }
        TupleId position;
        position.page = currentPage;
        position.slot = currentSlot;
        if (!gotNextRecordTid && !findNext(position)) {
            MOX_SET_ERROR(MOX_NOT_FOUND_WARN);
            return MOX_NOT_FOUND_WARN;
        }
        recordMgr->get(tableId, position, record);
        currentPage = position.page;
        currentSlot = position.slot;
        gotNextRecordTid = false;
    } catch (const MoxException& exception) {
        return recordFailure(exception);
    } catch (...) {
        return recordUnexpectedFailure();
    }
    // Success, whatever an earlier call left in the error object: a warning
    // from the end of a previous scan must not make this record look like
    // the end.
    return MOX_SUCCESS;
}

MoxErrorCode MoxRecordIterator::reset() {
    MOX_TRACE_ENTRY();
    currentPage = firstPage;
    currentSlot = firstSlot;
    gotNextRecordTid = firstPage != 0;
    MOX_SET_ERROR(MOX_SUCCESS);
    return MOX_SUCCESS;
}
