#ifndef MOX_RECORD_ITERATOR_H
#define MOX_RECORD_ITERATOR_H

#include "MoxIterator.h"
#include "MoxRecord.h"

class MoxRecordManager;

// A forward scan over every record of one table in TupleId order: pages in
// ascending number, slots in ascending number; a moved record is returned
// once, at its forwarding slot, with that slot's TupleId. Each page visited
// and each record returned stays share-locked for the transaction; no page
// stays fixed between calls.
//
// Created by MoxRecordManager::getRecordIterator; the caller owns it. Used by
// one thread within one transaction. Never throws: failures go into the
// process's error object and the returned code.
class MoxRecordIterator : public MoxIterator {
  public:
    // Positions the scan on the table's first record, if any.
    explicit MoxRecordIterator(TableId table);

    // Whether another record follows; never moves the scan.
    bool hasNext() override;
    // Back to the first record.
    MoxErrorCode reset() override;
    // The next record: MOX_SUCCESS, MOX_NOT_FOUND_WARN after the last one,
    // or the failure, which leaves the position where it was. A non-null
    // record is refilled, a null one receives a new record the caller owns.
    virtual MoxErrorCode getNext(MoxRecord*& record);

  private:
    // The next record's position behind the current one into next; false at
    // the end of the table. Throws other failures.
    bool findNext(TupleId& next);

    TableId tableId;
    PageId firstPage;  // 0: the table had no record at construction
    SlotId firstSlot;
    PageId currentPage;
    SlotId currentSlot;
    bool gotNextRecordTid;  // the current position holds a record not yet returned
    MoxRecordManager* recordMgr;
};

#endif
