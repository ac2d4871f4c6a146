#ifndef MOX_INDEX_UNDO_HANDLER_H
#define MOX_INDEX_UNDO_HANDLER_H

#include "MoxIndexLogEntry.h"

// What undoing index entries needs from the index manager, which implements
// it; MoxRecovery::undoIndexEntries decides which operation an entry's type
// calls for. Each restore writes its own undo entry.
class MoxIndexUndoHandler {
  public:
    virtual ~MoxIndexUndoHandler() = default;

    // Restores the integer B-tree page of the entry's segment and page id
    // from its before image.
    virtual void restoreIntegerPage(const MoxIndexLogEntry& entry) = 0;
    // The same for a varchar B-tree page.
    virtual void restoreVarcharPage(const MoxIndexLogEntry& entry) = 0;
};

#endif
