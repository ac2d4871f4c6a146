#ifndef MOX_SLOT_STATES_H
#define MOX_SLOT_STATES_H

#include <vector>

#include "MoxRecordLayout.h"
#include "MoxSlottedPage.h"
#include "TupleId.h"

class MoxRecordLogEntry;

// What a record log entry leaves in the slots it names, and the page-local
// work that brings a data page there. A record entry says it all: after an
// insert or update the primary slot holds the after image, or forwards to
// the new secondary slot that holds it; an old secondary slot that the
// record left is free; after a delete the primary slot and the old
// secondary slot are free. Undo writes a compensation entry and brings the
// pages to what it says; redo brings a page that lost an entry's change to
// what the entry says, without a new entry.
//
// Works on pages the caller has fixed and locked; takes no lock itself. The
// entry must outlive the object, whose states point into its images.
class MoxSlotStates : public MoxRecordLayout {
  public:
    struct State {
        enum Kind { Free, Forward, Record };
        TupleId slot;
        Kind kind = Free;
        TupleId target;                        // Forward: the secondary slot
        RecordType type = PrimaryRecord;       // Record
        const unsigned char* bytes = nullptr;  // Record: the image
        Uint16 length = 0;                     // Record
    };

    // The states after the entry; none for an entry that changes no record.
    explicit MoxSlotStates(const MoxRecordLogEntry& entry);

    const std::vector<State>& states() const { return slotStates; }
    // The pages whose slots the entry changes, primary page first. A record
    // updated on its secondary page leaves its primary page as it was.
    const std::vector<PageId>& changedPages() const { return pages; }
    // The pages the states name, changed or not.
    std::vector<PageId> namedPages() const;

    // Brings the page's slots to their states, placing records where room
    // is and compacting the page only when none is; the directory grows
    // where a slot lies beyond it. Returns whether a byte changed;
    // `compacted` says whether the page was compacted. A record that cannot
    // be placed throws (MOX_INTERNAL_FAIL or MOX_RM_NO_MEMORY_BLOCK_FOUND_WARN),
    // leaving the page half changed: try it on a copy first (fits).
    bool applyTo(MoxSlottedPage& page, bool& compacted) const;
    // Whether applyTo would succeed on the page, tried on a copy, and
    // whether it would compact.
    bool fits(const MoxSlottedPage& page, bool& compacts) const;

  private:
    static bool holds(const MoxSlottedPage& page, const State& state);
    // Places a record or a forwarding entry into a slot that holds neither
    // bytes nor the wanted state.
    static void place(MoxSlottedPage& page, const State& state, bool& compacted);
    // Makes the directory `slots` long, compacting first if records lie in the way.
    static void growDirectory(MoxSlottedPage& page, Uint16 slots, bool& compacted);
    void add(const State& state, bool changesPage);

    std::vector<State> slotStates;
    std::vector<PageId> pages;
};

#endif
