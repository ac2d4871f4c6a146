#ifndef MOX_RECORD_UNDO_HANDLER_H
#define MOX_RECORD_UNDO_HANDLER_H

#include "MoxRecordLogEntry.h"

// What undoing record entries needs from the record manager, which
// implements it; MoxRecovery::undoRecordEntries decides which operation an
// entry's type calls for. Each operation writes its own compensation entry.
class MoxRecordUndoHandler {
  public:
    virtual ~MoxRecordUndoHandler() = default;

    // Undoes an insert: removes the record at the primary tuple id.
    virtual void removeRecord(const MoxRecordLogEntry& entry) = 0;
    // Undoes an update: puts the before image back (all three tuple ids and
    // both images are in the entry).
    virtual void restoreRecord(const MoxRecordLogEntry& entry) = 0;
    // Undoes a delete: re-inserts the before image at the primary tuple id
    // with the old secondary tuple id.
    virtual void reinsertRecord(const MoxRecordLogEntry& entry) = 0;
};

#endif
